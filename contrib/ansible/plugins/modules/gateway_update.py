#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: gateway_update
short_description: Update a gateway's firmware from a package on the runner
description:
  - Installs a single (C(.ssu)) or combined (C(.cssu)) package on a gateway with the
    C(vornupdater) command line on the host the module runs on; what the gateway receives is
    exactly what C(vornupdater update) sends.
  - Idempotent. When the gateway already reports the package's version (the rule of the
    program's C(--skip-current), vendor-name normalised, blanks at the ends ignored, the rest
    exact), nothing but the login and the version query is sent and the task is not changed.
  - In check mode the pre-upgrade check of the package runs on the gateway (nothing is
    installed) and the module reports whether an update would happen and whether the check
    passed. A combined package has no pre-upgrade check; its check mode compares the
    versions only.
version_added: "1.0.0"
author:
  - vornupdater developers
extends_documentation_fragment:
  - vorn.gateway.common
options:
  package:
    description: Path of the package on the host the module runs on.
    type: path
    required: true
  verify:
    description:
      - After the update, log in again once the gateway is back and read its version
        (C(version_after_read) true); the task fails when it is not the package's.
      - Without it C(version_after) is the package's version.
    type: bool
    default: true
  reboot_timeout:
    description: Seconds that I(verify) waits for the gateway to come back after its restart.
    type: int
    default: 300
  pre_check:
    description: Run the pre-upgrade check before the update; a failed check stops it.
    type: bool
    default: false
  backup_dir:
    description:
      - A folder on the host the module runs on. When an update will happen, the gateway's
        configuration is first backed up into a new file there (C(backup_file)); a gateway
        that is already current gets no backup, so a second run stays unchanged.
    type: path
attributes:
  check_mode:
    support: full
'''

EXAMPLES = r'''
- name: Update the gateway, backing its configuration up first when it needs the update
  vorn.gateway.gateway_update:
    gateway: "{{ gateway_address }}"
    password: "{{ gateway_password }}"
    package: /srv/vorn/fw_V301R002.ssu
    backup_dir: /srv/vorn/backups
  delegate_to: "{{ site_runner }}"
  register: update

- name: Would the update happen, and does the pre-upgrade check pass?
  vorn.gateway.gateway_update:
    gateway: 192.0.2.10:51111
    password: "{{ vault_gateway_password }}"
    package: /srv/vorn/fw_V301R002.ssu
  check_mode: true
'''

RETURN = r'''
version_before:
  description: The gateway's version before the update.
  returned: when the login succeeded
  type: str
  sample: KELMORA GW V300R001
version_after:
  description:
    - The gateway's version after the update, read back after its restart when
      C(version_after_read) is true, else the package's version.
  returned: success
  type: str
  sample: KELMORA GW V301R002
version_after_read:
  description: C(version_after) was read from the gateway.
  returned: success
  type: bool
package_version:
  description: The version the package installs (for a combined package, its last member's).
  returned: when the package could be read
  type: str
current:
  description: The gateway already reported the package's version.
  returned: when the package could be read and the login succeeded
  type: bool
would_update:
  description: Check mode only, the update would install the package.
  returned: check mode
  type: bool
check_passed:
  description: Check mode only, the pre-upgrade check passed (null when it did not run).
  returned: check mode
  type: bool
backup_file:
  description:
    - The configuration backup taken before the update (I(backup_dir), or the program's
      automatic backup of a package whose name begins with C(switch_)), else null.
  returned: always
  type: str
restart:
  description: The package restarts the gateway.
  returned: when an update ran
  type: bool
failure:
  description: The program's error texts, in order.
  returned: failure
  type: list
  elements: str
msg:
  description: What happened, or why it failed.
  returned: always
  type: str
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vorn.gateway.plugins.module_utils.vornupdater import (
    VornUpdater, VornUpdaterError, common_argument_spec, failure_text, run_backup)

_FIELDS = ('version_before', 'version_after', 'version_after_read', 'package_version',
           'current', 'restart')


def fields(result):
    return dict((k, result.get(k)) for k in _FIELDS if k in result)


def check_mode(module, updater):
    try:
        rc, events, result, err = updater.run(
            'check', [module.params['package'], '--skip-current'])
    except VornUpdaterError as e:
        module.fail_json(msg=str(e))
    out = fields(result)
    out['backup_file'] = None
    if result.get('current'):
        module.exit_json(changed=False, would_update=False, check_passed=None,
                         msg='the gateway already reports version %s' %
                         result.get('package_version'), **out)
    if rc == 0 and result.get('ok'):
        passed = result.get('passed')
        msg = 'the update would install %s' % result.get('package_version')
        if result.get('check_run'):
            msg += '; the pre-upgrade check passed'
        module.exit_json(changed=True, would_update=True, check_passed=passed, msg=msg, **out)
    would = result.get('package_version') is not None and 'version_before' in result
    module.fail_json(msg=failure_text(result), failure=result.get('failure'),
                     would_update=would, check_passed=result.get('passed'), exit_code=rc,
                     **out)


def main():
    spec = common_argument_spec()
    spec.update(
        package=dict(type='path', required=True),
        verify=dict(type='bool', default=True),
        reboot_timeout=dict(type='int', default=300),
        pre_check=dict(type='bool', default=False),
        backup_dir=dict(type='path'),
    )
    module = AnsibleModule(argument_spec=spec, supports_check_mode=True)
    updater = VornUpdater(module)
    package = module.params['package']
    if module.check_mode:
        check_mode(module, updater)

    backup_file = None
    if module.params['backup_dir']:
        # Only a gateway that needs the update is backed up first.
        try:
            rc, events, result, err = updater.run('connect', ['--package', package])
        except VornUpdaterError as e:
            module.fail_json(msg=str(e))
        if rc != 0 or not result.get('ok'):
            module.fail_json(msg=failure_text(result), failure=result.get('failure'),
                             exit_code=rc, **fields(result))
        if result.get('current'):
            module.exit_json(changed=False, backup_file=None, skipped=True,
                             version_after=result.get('version'), version_after_read=True,
                             msg='the gateway already reports version %s' %
                             result.get('package_version'), **fields(result))
        backup_file, unused = run_backup(module, updater, module.params['backup_dir'])

    args = [package, '--yes', '--skip-current']
    if module.params['verify']:
        args += ['--verify', '--reboot-timeout', str(module.params['reboot_timeout'])]
    if module.params['pre_check']:
        args.append('--pre-check')
    try:
        rc, events, result, err = updater.run('update', args)
    except VornUpdaterError as e:
        module.fail_json(msg=str(e), backup_file=backup_file)
    out = fields(result)
    out['backup_file'] = result.get('backup_file') or backup_file
    if rc == 0 and result.get('ok'):
        if result.get('skipped'):
            module.exit_json(changed=False, msg='the gateway already reports version %s' %
                             result.get('package_version'), **out)
        how = 'read back' if result.get('version_after_read') else 'assumed'
        module.exit_json(changed=True, msg='updated from %s to %s (%s)' % (
            result.get('version_before'), result.get('version_after'), how), **out)
    module.fail_json(msg=failure_text(result), failure=result.get('failure'), exit_code=rc,
                     changed=bool(result.get('changed')) or backup_file is not None, **out)


if __name__ == '__main__':
    main()
