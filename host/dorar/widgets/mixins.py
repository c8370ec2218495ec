"""Mixins of the host's text widgets."""
from qtpy.QtGui import QTextDocument


class BaseEditMixin(object):
    """Find and search in a Qt text widget (QTextEdit, QTextBrowser, QPlainTextEdit)."""

    def __init__(self):
        # The text of the last search; initialising twice (cooperative Qt init) is harmless.
        self.last_search = None

    def get_selected_text(self):
        """The selected text, paragraph breaks as line feeds."""
        return self.textCursor().selectedText().replace("\u2029", "\n")

    def find_text(self, text, forward=True, case=False, words=False):
        """Selects the next occurrence of `text` from the cursor; True when one was found."""
        self.last_search = text
        if not text:
            return False
        flags = QTextDocument.FindFlags()
        if not forward:
            flags |= QTextDocument.FindBackward
        if case:
            flags |= QTextDocument.FindCaseSensitively
        if words:
            flags |= QTextDocument.FindWholeWords
        return bool(self.find(text, flags))

    def find_all(self, text, case=False, words=False):
        """The count of occurrences of `text` in the whole document."""
        if not text:
            return 0
        flags = QTextDocument.FindFlags()
        if case:
            flags |= QTextDocument.FindCaseSensitively
        if words:
            flags |= QTextDocument.FindWholeWords
        doc, count = self.document(), 0
        cursor = doc.find(text, 0, flags)
        while not cursor.isNull():
            count += 1
            cursor = doc.find(text, cursor, flags)
        return count
