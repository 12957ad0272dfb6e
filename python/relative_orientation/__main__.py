"""python3 -m relative_orientation block ...: a block of photographs on a Dask cluster."""
