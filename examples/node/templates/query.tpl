Subscriptions of @LINK at @STATION (status: @STATUS)

>***<
@@S @@@@@@@@@@@@@@@@@@@@A @D

@SUBNUM fileecho(s).
