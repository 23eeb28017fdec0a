# Runs a command with the accessibility bus up, on the session bus given.
/usr/libexec/at-spi-bus-launcher --launch-immediately &
launcher=$!
"$@"
rc=$?
kill $launcher
exit $rc
