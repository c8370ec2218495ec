"""Settings shared by the host's file dialogs."""

# The all-files entry of a file-dialog filter; it brings its own separator, so that it can follow
# another entry directly: "VSet files (*.vs)" + FILTER_ALL_FILES.
FILTER_ALL_FILES = ";;All files (*)"
