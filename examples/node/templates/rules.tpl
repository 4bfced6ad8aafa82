Rules of 2:5020/1:

1. Files sent into a fileecho must fit its subject.
2. Passthrough fileechoes are kept for 14 days.
