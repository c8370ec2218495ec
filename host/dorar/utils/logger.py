"""The host's logger."""
import logging

logger = logging.getLogger("dorar")
