#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: gateway_restore
short_description: Restore a gateway's configuration from a backup file on the runner
description:
  - Restores a C(.bcf) configuration backup with C(vornupdater restore); the gateway
    restarts afterwards.
  - A backup saved from another gateway version is refused unless I(other_version) is true
    (the program's version question, answered here explicitly).
  - In check mode the file is only validated on the runner; the gateway is not contacted.
version_added: "1.0.0"
author:
  - vornupdater developers
extends_documentation_fragment:
  - vorn.gateway.common
options:
  src:
    description: Path of the backup file on the host the module runs on.
    type: path
    required: true
  other_version:
    description:
      - Restore also when the backup was saved from another version than the gateway runs.
    type: bool
    default: false
attributes:
  check_mode:
    support: full
'''

EXAMPLES = r'''
- name: Put last night's configuration back
  vorn.gateway.gateway_restore:
    gateway: "{{ gateway_address }}"
    password: "{{ gateway_password }}"
    src: "{{ saved.backup_file }}"
  delegate_to: "{{ site_runner }}"
'''

RETURN = r'''
backup_version:
  description: The gateway version the backup was saved from.
  returned: when the file verifies
  type: str
other_version:
  description: The backup was saved from another version than the gateway runs.
  returned: when the gateway was contacted
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
    VornUpdater, VornUpdaterError, common_argument_spec, failure_text)


def main():
    spec = common_argument_spec()
    spec.update(src=dict(type='path', required=True),
                other_version=dict(type='bool', default=False))
    module = AnsibleModule(argument_spec=spec, supports_check_mode=True)
    updater = VornUpdater(module)
    src = module.params['src']
    if module.check_mode:
        try:
            rc, events, result, err = updater.run('inspect', [src], gateway=False)
        except VornUpdaterError as e:
            module.fail_json(msg=str(e))
        if result.get('kind') != 'backup':
            module.fail_json(msg='%s is not a backup file (.bcf)' % src)
        if rc != 0 or not result.get('valid'):
            module.fail_json(msg=failure_text(result), failure=result.get('failure'))
        module.exit_json(changed=True, backup_version=result.get('version'),
                         msg='%s verifies (saved from %s)' % (src, result.get('version')))
    answer = 'yes' if module.params['other_version'] else 'no'
    try:
        rc, events, result, err = updater.run(
            'restore', [src, '--yes', '--other-version', answer])
    except VornUpdaterError as e:
        module.fail_json(msg=str(e))
    out = dict(backup_version=result.get('backup_version'),
               other_version=result.get('other_version'))
    if rc == 0 and result.get('ok'):
        module.exit_json(changed=True, msg='configuration restored from %s' % src, **out)
    msg = failure_text(result)
    if result.get('other_version') and not module.params['other_version']:
        msg = ('the backup was saved from version %s, not the gateway\'s; set '
               'other_version to restore it anyway (%s)' % (result.get('backup_version'), msg))
    module.fail_json(msg=msg, failure=result.get('failure'), exit_code=rc,
                     changed=bool(result.get('changed')), **out)


if __name__ == '__main__':
    main()
