Commands of the file-echo manager at @STATION (one per line, in the letter
body; the subject holds your password):

  +ECHO               subscribe to a fileecho (wildcards allowed: +SOFT.*)
  -ECHO               unsubscribe from a fileecho (-* leaves them all)
  %LIST               the fileechoes you may subscribe to
  %QUERY              your subscriptions
  %UNLINKED           the fileechoes you are not subscribed to
  %AVAIL              fileechoes our uplinks offer (ask with +ECHO)
  %PAUSE              stop sending files to you
  %RESUME             start sending files again
  %RESEND ECHO:FILE   send a file again (wildcards allowed; NOTIC after
                      it sends no ticket)
  %HELP               this text
  %RULES              the rules of this node
