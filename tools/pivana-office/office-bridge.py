#!/usr/bin/python3
"""Hands conversions to a headless LibreOffice kept running on Pivana's private profile.

    office-bridge.py convert PROFILE JOBS
    office-bridge.py watch PROFILE OFFICE_PID
    office-bridge.py stop PROFILE

JOBS is a file of one conversion a line, tab-separated: SOURCE IMPORT_FILTER TARGET EXPORT_FILTER
[FILTER_OPTIONS]. The jobs run in order in one session with the office, and each one's outcome is
written on standard output as soon as it is known, one line each, in the same order: "ok",
"unreadable" (the office cannot read the document), "stopped" (the office went away during it;
the caller may try again in an office of its own), or "failed DETAIL".

The first conversion starts the office (listening on a pipe of its own) and a watcher, which ends
it once it has been idle for a while. Idle means no job running: pivana-office holds the
profile's lock for as long as it converts, and the watcher only ever ends the office while it
holds that lock itself. The office runs in the folder beside the profile that is also its
temporary folder; the watcher ends it through UNO (so it removes its pipes and temporary files
itself) and then removes whatever a crashed office left behind. Exit status 0 when every job was
handed over, 1 when the office could not be started (one line on standard error).
"""

import fcntl
import os
import shutil
import signal
import subprocess
import sys
import time
import zlib

OFFICE = "/usr/lib/libreoffice/program/soffice.bin"
IDLE_SECONDS = float(os.environ.get("PIVANA_OFFICE_IDLE_SECONDS", "60"))
START_SECONDS = 60
# On a new profile the office sets it up, then exits with this status to be started again.
RESTART_REQUESTED = 81


def pipe_name(profile):
    # Stable across processes (Python's own string hash is not).
    return "pivana-office-%d-%08x" % (os.getuid(), zlib.crc32(os.path.realpath(profile).encode()))


def stamp_path(profile):
    return profile + ".last-used"


def pid_path(profile):
    return profile + ".pid"


def lock_path(profile):
    return profile + ".lock"


def run_folder(profile):
    """The office's temporary folder and working directory, never the user's."""
    folder = profile + ".run"
    os.makedirs(folder, mode=0o700, exist_ok=True)
    return folder


def sockets_path(profile):
    return os.path.join(run_folder(profile), "sockets")


def touch(path):
    with open(path, "a"):
        pass
    os.utime(path, None)


def office_environment(profile):
    environment = dict(os.environ)
    environment["TMPDIR"] = run_folder(profile)
    return environment


def detach(arguments, profile):
    """Starts a process in a session of its own, in the run folder, its output discarded."""
    with open(os.devnull, "r+b") as null:
        return subprocess.Popen(arguments, stdin=null, stdout=null, stderr=null,
                                start_new_session=True, close_fds=True, cwd=run_folder(profile),
                                env=office_environment(profile))


def office_arguments(profile, *extra):
    return [OFFICE, "-env:UserInstallation=file://" + profile, "--headless", "--invisible",
            "--norestore", "--nologo", "--nodefault", "--nolockcheck"] + list(extra)


def prepare_profile(profile):
    """Sets a new profile up in an office run of its own, so that the office that then listens
    never restarts itself under a client's feet."""
    if os.path.isdir(os.path.join(profile, "user")):
        return
    for _ in range(3):
        with open(os.devnull, "r+b") as null:
            status = subprocess.call(office_arguments(profile, "--terminate_after_init"),
                                     stdin=null, stdout=null, stderr=null, close_fds=True,
                                     cwd=run_folder(profile), env=office_environment(profile))
        if status != RESTART_REQUESTED:
            break


def listening_sockets(pid):
    """The paths of the Unix sockets the process listens on (its pipes, in /tmp)."""
    inodes = set()
    try:
        for fd in os.listdir("/proc/%d/fd" % pid):
            target = os.readlink("/proc/%d/fd/%s" % (pid, fd))
            if target.startswith("socket:["):
                inodes.add(target[8:-1])
        with open("/proc/net/unix") as table:
            rows = [line.split() for line in table.readlines()[1:]]
    except OSError:
        return []
    return [row[7] for row in rows if len(row) >= 8 and row[6] in inodes and row[7].startswith("/")]


def start_office(profile, resolver, url):
    from com.sun.star.connection import NoConnectException

    prepare_profile(profile)
    office = detach(office_arguments(
        profile, "--accept=pipe,name=%s;urp;StarOffice.ComponentContext" % pipe_name(profile)),
        profile)
    deadline = time.monotonic() + START_SECONDS
    while time.monotonic() < deadline:
        if office.poll() == RESTART_REQUESTED:
            office = detach(office.args, profile)
        elif office.poll() is not None:
            raise RuntimeError("LibreOffice did not start (status %d)" % office.returncode)
        try:
            context = resolver.resolve(url)
        except NoConnectException:
            time.sleep(0.1)
            continue
        with open(pid_path(profile), "w") as pid:
            pid.write(str(office.pid))
        with open(sockets_path(profile), "w") as sockets:
            sockets.write("\n".join(listening_sockets(office.pid)))
        touch(stamp_path(profile))
        detach([sys.executable, os.path.abspath(__file__), "watch", profile, str(office.pid)],
               profile)
        return context
    office.kill()
    raise RuntimeError("LibreOffice did not start within %d seconds" % START_SECONDS)


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
        return start_office(profile, resolver, url)


class OfficeStopped(Exception):
    """The office went away in the middle of the work (it crashed on the document)."""


class Unreadable(Exception):
    """The office cannot read the document."""


def stopped(error):
    message = (getattr(error, "Message", "") or str(error)).lower()
    return "disposed" in message or "binary urp bridge" in message or isinstance(
        error, (BrokenPipeError, ConnectionError))


def prop(name, value):
    from com.sun.star.beans import PropertyValue

    item = PropertyValue()
    item.Name = name
    item.Value = value
    return item


def convert(desktop, source, import_filter, target, export_filter, options):
    import uno

    try:
        document = desktop.loadComponentFromURL(
            uno.systemPathToFileUrl(source), "_blank", 0,
            (prop("FilterName", import_filter), prop("Hidden", True), prop("ReadOnly", True)))
    except Exception as error:
        if stopped(error):
            raise OfficeStopped()
        document = None
    if document is None:
        raise Unreadable()
    try:
        arguments = [prop("FilterName", export_filter), prop("Overwrite", True)]
        if options:
            arguments.append(prop("FilterOptions", options))
        try:
            document.storeToURL(uno.systemPathToFileUrl(target), tuple(arguments))
        except Exception as error:
            if stopped(error):
                raise OfficeStopped()
            raise
    finally:
        try:
            document.close(True)
        except Exception:
            pass  # an office that stopped has nothing left to close


def run_jobs(profile, jobs):
    desktop = None
    for job in jobs:
        try:
            if desktop is None:
                context = connect(profile)
                desktop = context.ServiceManager.createInstanceWithContext(
                    "com.sun.star.frame.Desktop", context)
            convert(desktop, *job)
            outcome = "ok"
        except Unreadable:
            outcome = "unreadable"
        except OfficeStopped:
            outcome = "stopped"
            desktop = None  # the next job starts a new office
        except RuntimeError as error:  # the office could not be started at all
            outcome = "failed %s" % error
            desktop = None
        except Exception as error:  # one readable line, whatever the office raised
            detail = (getattr(error, "Message", "") or str(error) or type(error).__name__).strip()
            outcome = "failed %s" % (detail.splitlines()[0] if detail else "LibreOffice failed")
        touch(stamp_path(profile))
        sys.stdout.write(outcome + "\n")
        sys.stdout.flush()


def read_jobs(path):
    jobs = []
    with open(path, encoding="utf-8") as lines:
        for line in lines:
            fields = line.rstrip("\n").split("\t")
            if len(fields) in (4, 5):
                jobs.append((fields + [""])[:5])
    return jobs


def alive(pid):
    try:
        os.kill(pid, 0)
    except OSError:
        return False
    try:
        with open("/proc/%d/stat" % pid) as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def end_office(profile, pid):
    """Asks the office to end through UNO (it then removes its own pipes and temporary files),
    and kills it when it does not."""
    try:
        import uno

        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext(
            "com.sun.star.bridge.UnoUrlResolver", local)
        context = resolver.resolve(
            "uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe_name(profile))
        context.ServiceManager.createInstanceWithContext(
            "com.sun.star.frame.Desktop", context).terminate()
    except Exception:
        pass  # a terminating office drops the connection; the checks below decide
    deadline = time.monotonic() + 10
    while alive(pid) and time.monotonic() < deadline:
        time.sleep(0.1)
    if alive(pid):
        os.kill(pid, signal.SIGKILL)


def clean_up(profile, pid):
    """Removes what the office `pid`, now gone, left behind: its pipes and its temporary files.
    Nothing, when another office of the profile runs (after a crash, say): it uses the same pipe
    names and the same folder."""
    try:
        with open(pid_path(profile)) as recorded:
            current = int(recorded.read().strip() or 0)
    except (OSError, ValueError):
        current = 0
    if current not in (0, pid) and alive(current):
        return
    try:
        with open(sockets_path(profile)) as sockets:
            for path in sockets.read().split("\n"):
                if path.startswith("/tmp/OSL_PIPE_"):
                    try:
                        os.unlink(path)
                    except OSError:
                        pass
    except OSError:
        pass
    folder = run_folder(profile)
    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        if os.path.isdir(path) and not os.path.islink(path):
            shutil.rmtree(path, ignore_errors=True)
        else:
            try:
                os.unlink(path)
            except OSError:
                pass
    try:
        os.unlink(pid_path(profile))
    except OSError:
        pass


def watch(profile, pid):
    """Ends the office once it has been idle for a while: no job running, none for a while."""
    with open(lock_path(profile), "a") as lock:
        while True:
            time.sleep(1)
            try:
                fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
            except OSError:
                touch(stamp_path(profile))  # a job is running: the office is in use right now
                continue
            try:
                if not alive(pid):
                    clean_up(profile, pid)
                    return
                try:
                    idle = time.time() - os.stat(stamp_path(profile)).st_mtime
                except OSError:
                    idle = IDLE_SECONDS + 1
                if idle > IDLE_SECONDS:
                    end_office(profile, pid)
                    clean_up(profile, pid)
                    return
            finally:
                fcntl.flock(lock, fcntl.LOCK_UN)


def stop(profile):
    """Ends the office now, once no job is running."""
    with open(lock_path(profile), "a") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        try:
            with open(pid_path(profile)) as recorded:
                pid = int(recorded.read().strip() or 0)
        except (OSError, ValueError):
            return
        if pid > 0 and alive(pid):
            end_office(profile, pid)
        clean_up(profile, pid)


def main(arguments):
    if len(arguments) == 3 and arguments[0] == "watch":
        watch(arguments[1], int(arguments[2]))
        return 0
    if len(arguments) == 2 and arguments[0] == "stop":
        stop(arguments[1])
        return 0
    if len(arguments) != 3 or arguments[0] != "convert":
        sys.stderr.write("usage: office-bridge.py convert PROFILE JOBS\n")
        return 2
    run_jobs(arguments[1], read_jobs(arguments[2]))
    return 0


if __name__ == "__main__":
    status = main(sys.argv[1:])
    sys.stdout.flush()
    sys.stderr.flush()
    # Python-UNO's threads can crash the interpreter as it shuts down, once in a few dozen runs,
    # after all the work is done and reported: end here, without the shutdown.
    os._exit(status)
