"""Stand-in of the host application package: just enough of it to import, run and test the modules."""
