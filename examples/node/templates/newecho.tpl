A new fileecho was created at @STATION on @DATE, @TIME:

  @A  -  @D
  requested by @F
