Fileechoes of @STATION you are not subscribed to

>-*-<
    @@@@@@@@@@@@@@@@@@@@A @D
