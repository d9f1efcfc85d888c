#!/bin/sh
# strip as Debian's packaging tools strip: the symbols, and the compiler's
# notes in .comment and .note (scripts/package.sh makes this CMAKE_STRIP,
# which the package's install step runs on each program and library).
exec strip --remove-section=.comment --remove-section=.note "$@"
