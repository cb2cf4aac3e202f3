"""Files written whole: to a new file beside the target, flushed, then renamed over it."""

import os
import secrets


def replace_file(path, write):
    """Calls ``write(out)`` with a new binary file beside ``path``, flushes it to the disk and renames
    it over ``path``; on any failure the new file is removed and ``path`` keeps what it had."""
    path = os.fspath(path)
    folder, name = os.path.split(path)
    temporary = os.path.join(folder, f".{name}.{secrets.token_hex(6)}.tmp")
    fd = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o666)
    try:
        with os.fdopen(fd, "wb") as out:
            write(out)
            out.flush()
            os.fsync(out.fileno())
        os.replace(temporary, path)
    except BaseException:
        try:
            os.unlink(temporary)
        except FileNotFoundError:
            pass
        raise
