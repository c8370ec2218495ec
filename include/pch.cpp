// Translation unit that carries the shared precompiled header.
