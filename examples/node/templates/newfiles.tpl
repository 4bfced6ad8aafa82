New files received at @STATION on @DATE, @TIME

>---<
 Fileecho @AREA: @DESC
 ------------------------------------------------------------------
>***<
 @@@@@@@@@@@F @@@@@@@S @D
<***>
 ------------------------------------------------------------------
 @NUMB file(s), @SIZE bytes

<--->
 Total: @FNUMB file(s), @FSIZE bytes.
 @VER
