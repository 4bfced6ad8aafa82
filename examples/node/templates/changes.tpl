Your subscriptions at @STATION have changed; they are now:

>***<
@@S @@@@@@@@@@@@@@@@@@@@A @D
