Your subscriptions at 2:5020/1 have changed; the current list follows.
