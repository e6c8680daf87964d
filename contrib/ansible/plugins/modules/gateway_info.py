#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: gateway_info
short_description: Read a gateway's version, script layout and product line
description:
  - Logs in to a gateway with the C(vornupdater) command line on the host the module runs on
    (usually the runner of the gateway's site, through C(delegate_to)) and returns the
    gateway's version, script layout and product line as facts.
  - Sends nothing but the login and the version query; never changes anything.
  - With I(package), also tells whether the gateway already reports the package's version,
    by the same rule the update uses to skip a current gateway.
version_added: "1.0.0"
author:
  - vornupdater developers
extends_documentation_fragment:
  - vorn.gateway.common
options:
  package:
    description:
      - Path of a package (C(.ssu) or C(.cssu)) on the host the module runs on. When given,
        the module also returns C(package_version) and C(current).
    type: path
attributes:
  check_mode:
    support: full
'''

EXAMPLES = r'''
- name: Read the gateway's version
  vorn.gateway.gateway_info:
    gateway: "{{ gateway_address }}"
    password: "{{ gateway_password }}"
  delegate_to: "{{ site_runner }}"

- name: Does the gateway already run the package?
  vorn.gateway.gateway_info:
    gateway: 192.0.2.10
    password: "{{ vault_gateway_password }}"
    package: /srv/firmware/fw_V301R002.ssu
  register: info

- ansible.builtin.debug:
    msg: "{{ inventory_hostname }} runs {{ info.version }}, current: {{ info.current }}"
'''

RETURN = r'''
version:
  description: The gateway's version ("" when its firmware is damaged).
  returned: success
  type: str
  sample: KELMORA GW V300R001
layout:
  description: Where the gateway's scripts live, C(/etc) or C(/var).
  returned: success
  type: str
  sample: /etc
layout_flag:
  description: 1 for the C(/etc) layout, 0 for the C(/var) layout.
  returned: success
  type: int
product_line:
  description: The product-line code of the version (4 and 5 are hard-disk products).
  returned: success
  type: int
protocol:
  description: The gateway's answer to the version message.
  returned: success
  type: int
package_version:
  description: The version the package installs (for a combined package, its last member's).
  returned: when package is given
  type: str
current:
  description: The gateway already reports C(package_version).
  returned: when package is given
  type: bool
ansible_facts:
  description: The same values under C(vorn_gateway).
  returned: success
  type: dict
  contains:
    vorn_gateway:
      description: version, layout, layout_flag, product_line, protocol.
      type: dict
msg:
  description: What happened.
  returned: always
  type: str
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vorn.gateway.plugins.module_utils.vornupdater import (
    VornUpdater, VornUpdaterError, common_argument_spec, failure_text, gateway_facts)


def main():
    spec = common_argument_spec()
    spec.update(package=dict(type='path'))
    module = AnsibleModule(argument_spec=spec, supports_check_mode=True)
    updater = VornUpdater(module)
    args = []
    if module.params['package']:
        args += ['--package', module.params['package']]
    try:
        rc, events, result, err = updater.run('connect', args)
    except VornUpdaterError as e:
        module.fail_json(msg=str(e))
    if rc != 0 or not result.get('ok'):
        module.fail_json(msg=failure_text(result), exit_code=rc)
    facts = gateway_facts(VornUpdater.login(events))
    out = dict(changed=False, ansible_facts=dict(vorn_gateway=facts),
               msg='gateway %s reports version %s' % (module.params['gateway'],
                                                      facts.get('version')))
    out.update(facts)
    if module.params['package']:
        out['package_version'] = result.get('package_version')
        out['current'] = bool(result.get('current'))
    module.exit_json(**out)


if __name__ == '__main__':
    main()
