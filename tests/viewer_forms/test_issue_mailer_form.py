"""The bug-report form: its rows, the message body and the one send_email call per press."""
import pytest
from qtpy.QtWidgets import QTextEdit

from dorar.dialogs import issue_mailer as I
from dorar.utils import send_email as mail
from viewerkit import make, rows, translator  # noqa: F401 (fixtures)

HELP = ("Please copy-n-paste the error message in the Process log (if any). Please explain briefly what you "
        "were doing when the bug occurred. Please add anything that can help me reproduce the error. Thanks "
        "for your time and contribution to improving dorar.")


@pytest.fixture
def sent(monkeypatch):
    monkeypatch.setattr(mail, "SENT", [])
    monkeypatch.setattr(mail, "FAILURE", None)
    return mail.SENT


def test_rows_defaults_and_body(translator, make):
    d = make(I)
    assert rows(d) == [d.server, d.sender, d.receivers, d.subject, d.body, rows(d)[5]]
    assert type(rows(d)[5]).__name__ == "ActionRow"
    assert translator[-4:] == ["Email server", "Sender", "Receivers", "Subject"]
    assert d.rows() == ["<Email server>", "<Sender>", "<Receivers>", "<Subject>"]
    assert d.server.edit.text() == "localhost"
    hint = d.sender.edit.text()
    assert "email address" in hint and "@example.com" in hint
    assert d.receivers.edit.text() == "email addresses separated by comma" and d.subject.edit.text() == ""
    assert isinstance(d.body, QTextEdit) and d.body.parent() is d
    assert d.body.fontFamily() == "monospace"
    assert d.body.toPlainText() == d.helpMessage == HELP           # the title and help are translated at import


def test_an_untouched_form_sends_its_defaults(make, sent):
    d = make(I)
    d.apply()
    d.apply()                                    # a second press sends again
    assert sent == [{"sender": d.sender.edit.text(), "receivers": ["email addresses separated by comma"],
                     "subject": "", "body": HELP, "server": "localhost"}] * 2
    assert d.isVisible() is False and d.server.edit.text() == "localhost"


@pytest.mark.parametrize("typed,receivers", [
    ("ann@x.org", ["ann@x.org"]),
    ("", [""]),
    ("  ann@x.org ,\tbob smith@y.org  ", ["ann@x.org", "bob smith@y.org"]),
    ("a@x,,b@y", ["a@x", "", "b@y"]),
    ("a@x, ", ["a@x", ""]),
    (",a@x", ["", "a@x"]),
])
def test_receivers_are_cut_at_each_comma(make, sent, typed, receivers):
    d = make(I)
    d.receivers.edit.setText(typed)
    d.apply()
    assert sent[-1]["receivers"] == receivers and d.receivers.edit.text() == typed


def test_five_positional_arguments_in_order(make, monkeypatch):
    calls = []
    monkeypatch.setattr(I, "send_email", lambda *args, **kwargs: calls.append((args, kwargs)))
    d = make(I)
    d.server.edit.setText(" smtp.example.org ")
    d.sender.edit.setText("me@x.org")
    d.receivers.edit.setText("you@y.org")
    d.subject.edit.setText("  crash  ")
    d.body.setPlainText("line 1\n  line 2 ")
    d.apply()
    assert calls == [(("me@x.org", ["you@y.org"], "  crash  ", "line 1\n  line 2 ", " smtp.example.org "), {})]


def test_a_rich_help_text_goes_out_as_plain_text(qtbot, sent):
    class Rich(I.Dialog):
        HELP_BODY = "<b>Steps</b><br>one &amp; two"

    d = Rich()
    qtbot.addWidget(d)
    assert d.body.toHtml() != d.body.toPlainText()
    d.apply()
    assert sent[-1]["body"] == "Steps\none & two"


def test_a_failing_send_reaches_the_caller_and_changes_nothing(make, sent):
    d = make(I)
    d.subject.edit.setText("first try")
    mail.FAILURE = ConnectionRefusedError("localhost refused the connection")
    with pytest.raises(ConnectionRefusedError, match="refused"):
        d.apply()
    assert sent == [] and d.subject.edit.text() == "first try" and d.body.toPlainText() == HELP
    mail.FAILURE = None
    d.apply()
    assert [m["subject"] for m in sent] == ["first try"]
