Fileechoes of @STATION you may use, @DATE @TIME
(* subscribed, r read-only, w write-only)

>---<
@@S @@@@@@@@@@@@@@@@@@@@A @D

@ECHONUM fileechoes, @SUBNUM of them yours.
