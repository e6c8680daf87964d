#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: gateway_backup
short_description: Back a gateway's configuration up into a file on the runner
description:
  - Backs the gateway's configuration up with C(vornupdater backup) into a new C(.bcf) file
    in a folder on the host the module runs on. An earlier backup is never overwritten.
  - In check mode nothing is written and nothing is asked of the gateway beyond the login.
version_added: "1.0.0"
author:
  - vornupdater developers
extends_documentation_fragment:
  - vorn.gateway.common
options:
  dest:
    description:
      - An existing folder on the host the module runs on. The file is named after the
        gateway's address and the time, C(kelmora_ADDR[-PORT]_YYYYMMDD-HHMMSS.bcf).
    type: path
    required: true
attributes:
  check_mode:
    support: full
'''

EXAMPLES = r'''
- name: Nightly configuration backup on the site's runner
  vorn.gateway.gateway_backup:
    gateway: "{{ gateway_address }}"
    password: "{{ gateway_password }}"
    dest: /srv/vorn/backups
  delegate_to: "{{ site_runner }}"
  register: saved
'''

RETURN = r'''
backup_file:
  description: Absolute path of the new backup file (null in check mode).
  returned: always
  type: str
  sample: /srv/vorn/backups/kelmora_192.0.2.10_20240512-031500.bcf
version:
  description: The gateway's version, which the backup records.
  returned: success
  type: str
msg:
  description: What happened, or why it failed.
  returned: always
  type: str
'''

import os

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vorn.gateway.plugins.module_utils.vornupdater import (
    VornUpdater, VornUpdaterError, backup_path, common_argument_spec, failure_text,
    run_backup)


def main():
    spec = common_argument_spec()
    spec.update(dest=dict(type='path', required=True))
    module = AnsibleModule(argument_spec=spec, supports_check_mode=True)
    updater = VornUpdater(module)
    dest = module.params['dest']
    if module.check_mode:
        if not os.path.isdir(dest):
            module.fail_json(msg='dest %s is not a folder' % dest, backup_file=None)
        try:
            rc, events, result, err = updater.run('connect', [])
        except VornUpdaterError as e:
            module.fail_json(msg=str(e), backup_file=None)
        if rc != 0 or not result.get('ok'):
            module.fail_json(msg=failure_text(result), backup_file=None, exit_code=rc)
        module.exit_json(changed=True, backup_file=None, version=result.get('version'),
                         msg='would back up into %s' %
                         backup_path(dest, module.params['gateway']))
    path, result = run_backup(module, updater, dest)
    module.exit_json(changed=True, backup_file=path, version=result.get('version_before'),
                     msg='configuration saved in %s' % path)


if __name__ == '__main__':
    main()
