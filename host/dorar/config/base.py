"""Translation of user-visible text."""

# Tests may install a translator here to see which texts pass through `_`.
TRANSLATOR = None


def _(text):
    if TRANSLATOR is not None:
        return TRANSLATOR(text)
    return text
