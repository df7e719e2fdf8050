#!/bin/sh
# Stands in for ssh: drops the host and runs the rest here, its words joined into one command for
# a shell, as sshd hands a remote command to the user's shell.
shift
exec sh -c "$*"
