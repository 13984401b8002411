#!/bin/sh
# Stands in for zenity or xmessage: records how it was called, as the box a user would have closed.
printf '%s\n' "${0##*/}" "$@" > "$ZEPHLOG_TEST_DIALOG_RECORD"
