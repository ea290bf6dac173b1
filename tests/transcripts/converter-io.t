# The converter's inputs and outputs under hostile conditions: every input is
# read exactly once, nothing hangs, nothing is lost, and a failure never
# passes as success.

# Files in order, '-' for standard input; named pipes, process substitution
# and character devices are read once, like any input.
$ printf '1.5\n' > a.txt; printf '2.5\n' > b.txt; geoconv dms a.txt - b.txt
< 3.5
> 1 30 0.000000
> 3 30 0.000000
> 2 30 0.000000
$ mkfifo p1; printf '1 2 3\n' > p1 & geoconv aer2xyz p1
> 0.052325 2.997716 0.104698
$ mkfifo p2; printf '1 2 3\n' > p2 & geoconv aer2xyz p2
> 0.052325 2.997716 0.104698
$ mkfifo p3; printf '1 2 3\n' > p3 & geoconv aer2xyz p3
> 0.052325 2.997716 0.104698
$ geoconv aer2xyz <(printf '1 2 3\n') /dev/null <(printf '4 5 6\n')
> 0.052325 2.997716 0.104698
> 0.416946 5.962608 0.522934

# Missing inputs and directories are refused before anything is converted.
$ geoconv dms a.txt /nonexistent/file
! geoconv: cannot read '/nonexistent/file': No such file or directory
? 2
$ geoconv dms a.txt .
! geoconv: cannot read '.': Is a directory
? 2
# An input that fails when its turn comes stops the run after what came
# before it.
$ geoconv dms a.txt - < .
> 1 30 0.000000
! geoconv: error reading '-': Is a directory
? 2
# Many inputs, few file descriptors: each is opened only while it is read.
$ ulimit -n 64; geoconv dms $(yes a.txt | head -n 20000) | uniq -c
>   20000 1 30 0.000000

# Standard output appending to one of the inputs is refused, as cat does:
# the run would never end.
$ printf '1 2 3\n' > own.txt; geoconv aer2xyz own.txt >> own.txt; echo "status $?"; cat own.txt
> status 2
> 1 2 3
! geoconv: input 'own.txt' is also the output
$ printf '1 2 3\n' > own2.txt; geoconv aer2xyz - >> own2.txt < own2.txt
! geoconv: input '-' is also the output
? 2

# A failed write stops the run at once with one message and status 2: a full
# disk, a closed pipe with SIGPIPE ignored, a closed standard output, and
# help and version text that cannot be written.
$ yes '1 2 3' | geoconv aer2xyz > /dev/full
! geoconv: cannot write the output: No space left on device
? 2
$ trap '' PIPE; yes '1 2 3' 2>/dev/null | geoconv aer2xyz | head -n 1; echo "status ${PIPESTATUS[1]}"
> 0.052325 2.997716 0.104698
> status 2
! geoconv: cannot write the output: Broken pipe
$ geoconv --help > /dev/full
! geoconv: cannot write the output: No space left on device
? 2
$ geoconv --version >&-
! geoconv: cannot write the output: Bad file descriptor
? 2

# Results come before the converter waits for more input: it answers a
# co-process line by line.
$ coproc geoconv aer2xyz; echo '1 2 3' >&"${COPROC[1]}"; read -r -t 5 line <&"${COPROC[0]}"; echo "got: $line"; echo '4 5 6' >&"${COPROC[1]}"; read -r -t 5 line <&"${COPROC[0]}"; echo "got: $line"
> got: 0.052325 2.997716 0.104698
> got: 0.416946 5.962608 0.522934

# Constant memory: 37 MiB streamed through; time(1) measures the
# converter's own peak resident memory (under an emulator, the emulator's:
# not checked there).
$ yes '51.4722 -0.0012 1000.5' | head -n 1600000 | /usr/bin/time -f %M -o rss geoconv lla2efg | tail -n 1; test -n "$GEOCONV_EMULATOR" || test "$(cat rss)" -lt 8192 && echo 'below 8 MiB'
> 3981243.166369 -83.382962 4966655.650096
> below 8 MiB
