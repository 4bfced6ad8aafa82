Fileechoes our uplinks offer; a line "+ECHO" asks for one

>+++<
    @@@@@@@@@@@@@@@@@@@@A @D
