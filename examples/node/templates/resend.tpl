Files you asked for once more:

@FILES

They leave with the next session.
