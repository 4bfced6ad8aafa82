Hello @LINK (@STATUS) @DATE @TIME
>***<
@@S @@@@@@@@A @D
>-*-<
@A
>---<
@@@S @A @D
>+++<
@@@@@@@@@@A|@D|@S
@ECHONUM @SUBNUM @STATION @GROUP @PASSWORD
