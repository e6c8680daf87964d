# -*- coding: utf-8 -*-
# Runs the vornupdater command line for the modules of this collection and reads its
# documented --json events (docs/cli-json.md of the program): the "login" event and the final
# "result" event. The password reaches the program through a private temporary file that is
# removed afterwards; it never appears on a command line.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import fcntl
import hashlib
import json
import os
import tempfile
import time

# Exit statuses of vornupdater.
EXIT_OK = 0
EXIT_FAILED = 1
EXIT_USAGE = 2
EXIT_CONNECT = 3
EXIT_STARTUP = 4

# The program refuses a second instance on one data folder with this text.
_INSTANCE_TEXT = 'only one program instance'


def common_argument_spec():
    """Options every module of the collection takes."""
    return dict(
        gateway=dict(type='str', required=True),
        password=dict(type='str', required=True, no_log=True),
        executable=dict(type='path'),
        lock_timeout=dict(type='int', default=3600),
    )


class VornUpdaterError(Exception):
    pass


class VornUpdater(object):
    """One module's use of the vornupdater program on the host the module runs on."""

    def __init__(self, module):
        self.module = module
        exe = module.params.get('executable')
        if exe:
            if not (os.path.isfile(exe) and os.access(exe, os.X_OK)):
                module.fail_json(msg='executable %s is not an executable file' % exe)
            self.executable = exe
        else:
            self.executable = module.get_bin_path('vornupdater', required=True)
        self.lock_timeout = module.params.get('lock_timeout') or 0
        self.commands = []  # what was run (without secrets), for the module's result

    def _lock_path(self):
        # One vornupdater at a time per data folder: the program refuses a second instance,
        # and a runner often serves several gateways of its site at once.
        key = '%d:%s:%s' % (os.getuid(), os.path.realpath(self.executable),
                            os.environ.get('VORN_HOME', ''))
        digest = hashlib.sha256(key.encode('utf-8')).hexdigest()[:16]
        return os.path.join(tempfile.gettempdir(), 'vorn-gateway-%s.lock' % digest)

    def _acquire(self):
        path = self._lock_path()
        flags = os.O_RDWR | os.O_CREAT | getattr(os, 'O_NOFOLLOW', 0)
        fd = os.open(path, flags, 0o600)
        deadline = time.time() + max(self.lock_timeout, 0)
        while True:
            try:
                fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
                return fd
            except (IOError, OSError):
                if time.time() >= deadline:
                    os.close(fd)
                    raise VornUpdaterError(
                        'another vornupdater run on this host did not finish within '
                        '%d s (lock_timeout)' % self.lock_timeout)
                time.sleep(0.5)

    def run(self, command, args, gateway=True, password=None):
        """Runs `vornupdater COMMAND ARGS --json` and returns (rc, events, result, stderr).

        With `gateway`, the module's gateway and password are added; the password goes
        through a temporary file readable by this user only."""
        argv = [self.executable, command] + list(args) + ['--json']
        pwfile = None
        if gateway:
            secret = password if password is not None else self.module.params['password']
            if '\n' in secret or '\r' in secret:
                raise VornUpdaterError('the password cannot contain line breaks')
            fd, pwfile = tempfile.mkstemp(prefix='vorn-pw-')
            try:
                os.fchmod(fd, 0o600)
                os.write(fd, (secret + '\n').encode('utf-8', 'surrogateescape'))
            finally:
                os.close(fd)
            argv += ['-g', self.module.params['gateway'], '--password-file', pwfile]
        lock = self._acquire()
        try:
            self.commands.append(' '.join(argv[:argv.index('--password-file')] if pwfile
                                          else argv))
            while True:
                rc, out, err = self.module.run_command(
                    argv, environ_update={'VORN_NO_TTY': '1'}, check_rc=False)
                # Someone else's vornupdater (not this collection's) holds the data folder.
                if rc == EXIT_STARTUP and _INSTANCE_TEXT in err:
                    if time.time() < self._deadline():
                        time.sleep(2)
                        continue
                break
        finally:
            fcntl.flock(lock, fcntl.LOCK_UN)
            os.close(lock)
            if pwfile:
                os.unlink(pwfile)
        events = []
        for line in out.splitlines():
            line = line.strip()
            if not line:
                continue
            try:
                event = json.loads(line)
            except ValueError:
                continue
            if isinstance(event, dict):
                events.append(event)
        result = None
        for event in events:
            if event.get('type') == 'result':
                result = event
        if result is None:
            # A start-up refusal comes before any event: say what the program said.
            text = err.strip() or out.strip() or 'no result from vornupdater'
            result = dict(ok=False, exit_code=rc, failure=[text])
        return rc, events, result, err

    def _deadline(self):
        if not hasattr(self, '_retry_until'):
            self._retry_until = time.time() + max(self.lock_timeout, 0)
        return self._retry_until

    @staticmethod
    def login(events):
        """The first "login" event, or None."""
        for event in events:
            if event.get('type') == 'login':
                return event
        return None


def failure_text(result):
    """The failure texts of a result as one message."""
    texts = result.get('failure') or []
    return '; '.join(t.strip() for t in texts if t and t.strip()) or \
        'vornupdater failed (exit status %s)' % result.get('exit_code')


def gateway_facts(login):
    """The gateway's facts from a "login" (or "version") event."""
    if not login:
        return {}
    return dict(
        version=login.get('version'),
        layout=login.get('layout'),
        layout_flag=login.get('layout_flag'),
        product_line=login.get('product_line'),
        protocol=login.get('protocol'),
    )


def backup_path(dest, gateway):
    """A new backup file name in the folder `dest` for `gateway`: the program's
    "kelmora_ADDR_DATE.bcf" shape with the port (when one is given) and the time added, so
    that no backup of the same day is overwritten; "-2", "-3", ... when the name is taken."""
    address = gateway.replace(':', '-')
    stamp = time.strftime('%Y%m%d-%H%M%S')
    base = os.path.join(dest, 'kelmora_%s_%s' % (address, stamp))
    path = base + '.bcf'
    n = 2
    while os.path.lexists(path):
        path = '%s-%d.bcf' % (base, n)
        n += 1
    return path


def run_backup(module, updater, dest):
    """Backs the gateway's configuration up into a new file in `dest`; returns
    (path, result). Fails the module when the folder is missing or the backup fails."""
    if not os.path.isdir(dest):
        module.fail_json(msg='dest %s is not a folder' % dest)
    path = backup_path(dest, module.params['gateway'])
    try:
        rc, events, result, err = updater.run('backup', ['-o', path])
    except VornUpdaterError as e:
        module.fail_json(msg=str(e))
    if rc != 0 or not result.get('ok'):
        module.fail_json(msg='backup failed: ' + failure_text(result), exit_code=rc,
                         changed=False)
    return result.get('backup_file') or path, result
