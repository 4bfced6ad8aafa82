The fileecho @A (@D) was removed at @STATION on @DATE:
its last downlink left. The uplink @F no longer sends it.
