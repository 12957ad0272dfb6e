"""A block of photographs oriented on a Dask cluster."""
