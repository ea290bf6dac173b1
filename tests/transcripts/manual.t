# The manual pages: clean for mandoc's linter, and geoconv(1) names every
# command and option of --help and nothing else.
$ mandoc -T lint -W warning "$GEOCONV_SOURCE/docs/geoconv.1" "$GEOCONV_SOURCE/docs/geoconv-demo.1"; echo "lint status $?"
> lint status 0
$ items() { grep -oE '^(-[^ ,]*(, -[^ ,]*)?|[a-z0-9]+)' | tr ',' '\n' | tr -d ' ' | sort; }; geoconv --help | sed -n 's/^  \([^ ]\)/\1/p' | items > help; mandoc -T ascii "$GEOCONV_SOURCE/docs/geoconv.1" | col -b | sed -n '/^COMMANDS/,/^INPUT/s/^       \([^ ]\)/\1/p' | items > page; diff help page && wc -l < help
> 20
