# `npm pack` gives a tarball of the package's files and no others, which
# installs offline into an empty project and converts there. npm's cache is
# the case's own.
$ npm pack "$GEOCONV_SOURCE/js" --cache ./cache --pack-destination . >/dev/null 2>&1 && tar tzf geoconv-*.tgz | sort
> package/README.md
> package/geoconv.mjs
> package/geoconv.wasm
> package/index.d.ts
> package/package.json
$ mkdir app && cd app && echo '{"name": "app", "private": true, "type": "module"}' > package.json && npm install --offline --no-audit --no-fund --cache ../cache ../geoconv-*.tgz >/dev/null 2>&1 && echo installed
> installed
$ cd app && echo "import { load } from 'geoconv'; console.log((await load()).LLA84toEFG84(51.47222222, 0, 10).map((v) => v.toFixed(6)).join(' '));" > main.js && node main.js
> 3981053.178755 0.000000 4966421.008341
