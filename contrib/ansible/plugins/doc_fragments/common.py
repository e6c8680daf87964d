# -*- coding: utf-8 -*-
# The options every module of vorn.gateway takes.

from __future__ import absolute_import, division, print_function
__metaclass__ = type


class ModuleDocFragment(object):

    DOCUMENTATION = r'''
options:
  gateway:
    description: The gateway's address, C(ADDR) or C(ADDR:PORT) (port 51111 when absent).
    type: str
    required: true
  password:
    description:
      - The gateway's password. It reaches the program through a private temporary file,
        never its command line or its log.
    type: str
    required: true
  executable:
    description: Path of the C(vornupdater) program. Default is C(vornupdater) from C(PATH).
    type: path
  lock_timeout:
    description:
      - Seconds to wait while another C(vornupdater) run of this user on this host holds the
        program's data folder (one runs at a time per data folder).
    type: int
    default: 3600
notes:
  - The module runs C(vornupdater) on the host it runs on (use C(delegate_to) to the
    gateway's site runner) and reads its documented JSON events (C(docs/cli-json.md) of the
    program).
'''
