Commands of the file-echo manager (one per line, in the letter body):

  +ECHO      subscribe to a fileecho (wildcards allowed)
  -ECHO      unsubscribe from a fileecho
  %LIST      list the fileechoes you may subscribe to
  %QUERY     list your subscriptions
  %UNLINKED  list the fileechoes you are not subscribed to
  %PAUSE     stop sending files to you
  %RESUME    start sending files again
  %HELP      this text
  %RULES     the rules of this node
