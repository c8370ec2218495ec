"""send_email: the host's mail function.

The stand-in never opens a connection: every call is kept in `SENT`, oldest first, as a dict of
its five arguments. Tests may set `FAILURE` to an exception, which every call then raises instead of
recording, as a refused connection would.
"""

# One dict per call: sender, receivers, subject, body, server.
SENT = []

# An exception instance to raise instead of sending, or None.
FAILURE = None


def send_email(sender, receivers, subject, body, server):
    """Send `body` with `subject` from `sender` to the list `receivers` through the mail server
    `server` (a host name)."""
    if FAILURE is not None:
        raise FAILURE
    SENT.append({"sender": sender, "receivers": list(receivers), "subject": subject, "body": body,
                 "server": server})
