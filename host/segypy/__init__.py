"""The SEG-Y engine: readSegy and writeSegy in the compiled module segypy.segypy."""
