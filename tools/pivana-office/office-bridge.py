#!/usr/bin/python3
"""Hands one conversion to a headless LibreOffice kept running on Pivana's private profile.

    office-bridge.py convert PROFILE INPUT IMPORT_FILTER OUTPUT EXPORT_FILTER [FILTER_OPTIONS]
    office-bridge.py watch PROFILE

The first conversion starts the office (listening on a pipe of its own) and a watcher that ends
it after a short idle time; later conversions reuse it, so a batch pays the start-up once.
pivana-office runs one conversion at a time on the profile. Exit status 0 on success; otherwise
one line on standard error.
"""

import os
import signal
import subprocess
import sys
import time
import zlib

OFFICE = "/usr/lib/libreoffice/program/soffice.bin"
IDLE_SECONDS = float(os.environ.get("PIVANA_OFFICE_IDLE_SECONDS", "60"))
START_SECONDS = 60


def pipe_name(profile):
    # Stable across processes (Python's own string hash is not).
    return "pivana-office-%d-%08x" % (os.getuid(), zlib.crc32(os.path.realpath(profile).encode()))


def stamp_path(profile):
    return profile + ".last-used"


def pid_path(profile):
    return profile + ".pid"


def touch(path):
    with open(path, "a"):
        pass
    os.utime(path, None)


def detach(arguments):
    """Starts a process in a session of its own, its output discarded."""
    with open(os.devnull, "r+b") as null:
        return subprocess.Popen(arguments, stdin=null, stdout=null, stderr=null,
                                start_new_session=True, close_fds=True)


def connect(profile):
    import uno
    from com.sun.star.connection import NoConnectException

    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext(
        "com.sun.star.bridge.UnoUrlResolver", local)
    url = "uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe_name(profile)
    try:
        return resolver.resolve(url)
    except NoConnectException:
        pass

    office = detach([OFFICE, "-env:UserInstallation=file://" + profile, "--headless", "--invisible",
                     "--norestore", "--nologo", "--nodefault", "--nolockcheck",
                     "--accept=pipe,name=%s;urp;StarOffice.ComponentContext" % pipe_name(profile)])
    with open(pid_path(profile), "w") as pid:
        pid.write(str(office.pid))
    touch(stamp_path(profile))
    detach([sys.executable, os.path.abspath(__file__), "watch", profile])
    deadline = time.monotonic() + START_SECONDS
    while time.monotonic() < deadline:
        if office.poll() is not None and office.returncode != 81:
            raise RuntimeError("LibreOffice did not start (status %d)" % office.returncode)
        if office.poll() == 81:
            # A new profile is set up on the first start, after which the office wants to be
            # started again.
            office = detach(office.args)
            with open(pid_path(profile), "w") as pid:
                pid.write(str(office.pid))
        try:
            return resolver.resolve(url)
        except NoConnectException:
            time.sleep(0.1)
    raise RuntimeError("LibreOffice did not start within %d seconds" % START_SECONDS)


class OfficeStopped(Exception):
    """The office went away in the middle of the work (it crashed on the document)."""


# Exit status when the office stopped mid-way: the caller may try again with a fresh office.
STOPPED = 3


def stopped(error):
    return "disposed" in (getattr(error, "Message", "") or str(error)).lower()


def prop(name, value):
    import uno
    from com.sun.star.beans import PropertyValue

    item = PropertyValue()
    item.Name = name
    item.Value = value
    return item


def convert(profile, source, import_filter, target, export_filter, options):
    import uno

    context = connect(profile)
    touch(stamp_path(profile))
    desktop = context.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", context)
    try:
        document = desktop.loadComponentFromURL(
            uno.systemPathToFileUrl(source), "_blank", 0,
            (prop("FilterName", import_filter), prop("Hidden", True), prop("ReadOnly", True)))
    except Exception as error:
        if stopped(error):
            raise OfficeStopped()
        document = None
    if document is None:
        raise RuntimeError("LibreOffice could not read the document")
    try:
        arguments = [prop("FilterName", export_filter), prop("Overwrite", True)]
        if options:
            arguments.append(prop("FilterOptions", options))
        try:
            document.storeToURL(uno.systemPathToFileUrl(target), tuple(arguments))
        except Exception as error:
            if stopped(error):
                raise OfficeStopped()
            detail = getattr(error, "Message", "") or str(error)
            raise RuntimeError("LibreOffice could not write it (%s)" % detail.strip().splitlines()[0]
                               if detail.strip() else "LibreOffice could not write it")
    finally:
        try:
            document.close(True)
        except Exception:
            pass  # an office that stopped has nothing left to close
        touch(stamp_path(profile))


def watch(profile):
    """Ends the office once it has not been used for a while."""
    while True:
        time.sleep(1)
        try:
            idle = time.time() - os.stat(stamp_path(profile)).st_mtime
            with open(pid_path(profile)) as pid:
                office = int(pid.read().strip() or 0)
        except (OSError, ValueError):
            return
        if office <= 0:
            return
        try:
            os.kill(office, 0)
        except OSError:
            return  # it is gone already
        if idle > IDLE_SECONDS:
            os.kill(office, signal.SIGTERM)
            return


def main(arguments):
    if len(arguments) >= 2 and arguments[0] == "watch":
        watch(arguments[1])
        return 0
    if len(arguments) not in (6, 7) or arguments[0] != "convert":
        sys.stderr.write("usage: office-bridge.py convert PROFILE INPUT IMPORT OUTPUT EXPORT [OPTIONS]\n")
        return 2
    profile, source, import_filter, target, export_filter = arguments[1:6]
    options = arguments[6] if len(arguments) == 7 else ""
    try:
        convert(profile, source, import_filter, target, export_filter, options)
    except OfficeStopped:
        sys.stderr.write("LibreOffice stopped while converting the document\n")
        return STOPPED
    except Exception as error:  # one readable line, whatever the office raised
        message = getattr(error, "Message", "") or str(error) or type(error).__name__
        sys.stderr.write(message.strip().splitlines()[0] if message.strip() else "LibreOffice failed")
        sys.stderr.write("\n")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
