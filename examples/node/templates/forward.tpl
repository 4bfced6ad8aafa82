A fileecho you asked for is not carried here yet: we have asked our uplink
for it. Its files will follow once the uplink sends them.
