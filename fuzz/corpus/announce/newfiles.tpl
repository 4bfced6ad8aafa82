New files at @STATION @DATE @TIME
>---<
@AREA (@P) @DESC
>***<
@@@@@@@@@@@F @@@@@@@S @D
       from @L, origin @O
<***>
@NUMB files, @SIZE bytes
<--->
@FNUMB/@FSIZE @VER
ÿFirst line
  second @D line
third
