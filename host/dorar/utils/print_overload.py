"""Progress printing."""


def myprint(*args, **kwargs):
    print(*args, **kwargs)
