# The converter geoconv: every command, the line rules, every ERROR reason,
# options and usage errors. Each case runs in a scratch folder of its own
# transcript, with the converter on PATH.

# Every command, with the default and other precisions (lengths N decimals,
# angles N + 3) and every way of giving the site.
$ geoconv lla2efg
< 51.47222222 0 10
> 3981053.178755 0.000000 4966421.008341
$ geoconv efg2lla -p 3
< 3981053.178755 0 4966421.008341
> 51.472222 0.000000 10.000
$ geoconv aer2xyz --precision 0
< 180 45 10000
> -0 -7071 7071
$ geoconv xyz2aer --precision=9
< 0 -7071.067812 7071.067812
> 180.000000000000 44.999999999854 10000.000000190
$ geoconv aer2lla --site 51.47222222,0,10
< 180 45 10000
> 51.452856805 -0.000000000 7082.262787
$ geoconv aer2efg -p2 --site=51.47222222,0,10
< 180 45 10000
> 3984081.75 -0.00 4966764.58
$ geoconv efg2aer --site '51.47222222 0 10'
< 3984081.752697 -0.00002 4966764.583483
> 180.000000532 45.000000009 10000.000000
# Moving targets: six numbers in and out, rates with the angles' decimals;
# straight up the azimuth rate is 0; a target at the site has no rates.
$ geoconv efg2aerrates --site 51.47222222,0,10
< 3984081.752697 -2e-05 4966764.583483 100 200 -50
> 180.000000532 45.000000009 10000.000000 -5.316828667 -1.145793030 307.501921
$ geoconv efg2aerrates --site 0,0,0
< 6379112.236 0 0 0 10 0
< 6378112.236 0 0 1 2 3
< 6378112.236 0 0
> 0.000000000 90.000000000 3280.839895 0.000000000 -0.572957795 0.000000
> ERROR: (EFG84toAERrates) problem: target at site
> ERROR: expected 6 numbers, found 3
? 1
$ geoconv aerrates2efg -p3 --site 51.47222222,0,10
< 180 45 10000 0.5 -0.25 300
> 3984081.753 -0.000 4966764.583 92.356 -18.808 -2.907
$ geoconv efgv2xyzv --site 51.47222222,0,10 | geoconv xyzv2efgv --site 51.47222222,0,10
< 100 -50 20
> 100.000000 -50.000000 20.000000
$ geoconv efg84to72 -p9
< 6378137 0 0
> 6378135.556604914 -17.131672105 -4.499998982
$ geoconv -p 20 lla2efg
< 0 0 0
> 6378112.23599999956786632538 0.00000000000000000000 0.00000000000000000000

# Lines: blanks, tabs and single commas separate; signs, exponents and a CR
# before the line end are fine; blank and comment lines are copied as they
# are; a last line without a newline is converted.
$ geoconv lla2efg -p 1
< # header
< 0,0,0\r
<
<    \t
<   # indented comment
< \t0 , \t0,0\x20\x20
< 1e1 -2E1 +3.5e2
<~ +0 -0 +0
> # header
> 6378112.2 0.0 0.0
>
>    \t
>   # indented comment
> 6378112.2 0.0 0.0
> 5903105.3 -2148554.6 1100262.8
> 6378112.2 0.0 0.0

# Every ERROR reason, one line each, and the run goes on (exit 1).
$ geoconv lla2efg
< 1 2
< 1 2 3 4
< 1 x 3
< 1 ++2 3
< 1 0x10 3
< 1 1e999 3
< 0 nan 0
< inf 0 0
< 51,0,,100
< ,0,0,0
< 0,0,0,
< 0 , , 0
< 91 0 0
< 1 2 3\r4 5 6
< 1 \x00\x1b\x7f\\ 3
< 1 2345678901234567890123456789012345678901234567890x 3
< 1 éééééééééééééééééééééééééééééé 3
< 1 234567890123456789012345678901234567890xy 3
< 1 2 234567890123456789012345678901234567890x
< 1 \x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80\x80 3
< 0 0 0
> ERROR: expected 3 numbers, found 2
> ERROR: expected 3 numbers, found 4
> ERROR: not a number: 'x'
> ERROR: not a number: '++2'
> ERROR: not a number: '0x10'
> ERROR: number out of range: '1e999'
> ERROR: not a finite number: 'nan'
> ERROR: not a finite number: 'inf'
> ERROR: field 3 is empty
> ERROR: field 1 is empty
> ERROR: field 4 is empty
> ERROR: field 2 is empty
> ERROR: (LLA84toEFG84) problem: lat>90
> ERROR: not a number: '3\\r4'
> ERROR: not a number: '\\x00\\x1b\\x7f\\\\'
> ERROR: not a number: '2345678901234567890123456789012345678901...'
> ERROR: not a number: 'éééééééééééééééééééé...'
> ERROR: not a number: '234567890123456789012345678901234567890x...'
> ERROR: not a number: '234567890123456789012345678901234567890x'
> ERROR: not a number: '...'
> 6378112.236000 0.000000 0.000000
? 1
$ geoconv efg2lla
< 0 0 0
< 0 0 6356752.3142451793
> ERROR: (EFG84toLLA84) error: negative or zero sqrt value
> ERROR: (EFG84toLLA84) error: negative or zero sqrt value
? 1
$ geoconv aer2lla --site 10,20,30
< 10 20 0
> ERROR: (AERtoLLA84) problem: input range=0
? 1
$ geoconv xyz2aer
< 0 0 1e200
< 0 0 1e-160
< 1e300 1e300 0
> ERROR: result not finite: range = inf
> ERROR: result not finite: el = nan
> ERROR: result not finite: range = inf
? 1
$ geoconv dms
< 1 2
> ERROR: expected 1 number, found 2
? 1

# Line length: 65536 characters are converted, a CR after them is not
# counted, 65537 characters give ERROR and the next line converts.
$ printf '%065535d5\r\n%065536d5\n2.5\n' 0 0 | geoconv dms
> 5 0 0.000000
> ERROR: line longer than 65536 characters
> 2 30 0.000000
? 1
$ printf '%0100000d\n1.5' 0 | geoconv dms
> ERROR: line longer than 65536 characters
> 1 30 0.000000
? 1

# One byte-order mark is skipped at the start of each input, and only there.
$ printf '\xef\xbb\xbf1.5\n\xef\xbb\xbf1.5\n' > bom.txt; printf '\xef\xbb\xbf\xef\xbb\xbf4.5\n' > two.txt; geoconv dms bom.txt - two.txt
< \xef\xbb\xbf2.5
> 1 30 0.000000
> ERROR: not a number: '\xef\xbb\xbf1.5'
> 2 30 0.000000
> ERROR: not a number: '\xef\xbb\xbf4.5'
? 1

# DMS: valid degrees, minutes and seconds at the printed decimals. Seconds
# that round to 60 carry into the minutes and degrees; seconds a hair below
# zero (minutes that rounded up) print as 0; the sign rides on the degrees.
$ geoconv dms
< 10.35
< 1.3833333333333333
< 7.7666666666666666
< 1.23
< -0.5
< -0.99999999999
< -45.5
< 359.9999999999
< 0
> 10 21 0.000000
> 1 23 0.000000
> 7 46 0.000000
> 1 13 48.000000
> -0 30 0.000000
> -1 0 0.000000
> -45 30 0.000000
> 360 0 0.000000
> 0 0 0.000000
$ geoconv dms -p 0
< 10.9999
< 59.99999
< 0.0027777777777778
< 0.0016666666666667
< -0.0016666666666667
> 11 0 0
> 60 0 0
> 0 0 10
> 0 0 6
> -0 0 6
$ geoconv dms -p 14
< 1.23
< 10.35
> 1 13 47.99999999999991
> 10 20 59.99999999999878

# Options: -- ends them; usage problems exit 2 with one line and no output.
$ printf '1.5\n' > -p; printf '2.5\n' > ./--; geoconv dms -- -p --
> 1 30 0.000000
> 2 30 0.000000
$ geoconv dms -- --help
! geoconv: cannot read '--help': No such file or directory
? 2
$ geoconv
! geoconv: missing command (try 'geoconv --help')
? 2
$ geoconv frobnicate
! geoconv: unknown command 'frobnicate' (try 'geoconv --help')
? 2
$ geoconv dms --bogus
! geoconv: unknown option '--bogus' (try 'geoconv --help')
? 2
$ geoconv dms -p
! geoconv: option '-p' needs a value (try 'geoconv --help')
? 2
$ geoconv dms -p 21
! geoconv: bad precision '21': expected a whole number from 0 to 20 (try 'geoconv --help')
? 2
$ geoconv dms -p 007
! geoconv: bad precision '007': expected a whole number from 0 to 20 (try 'geoconv --help')
? 2
$ geoconv dms -p 99999999999
! geoconv: bad precision '99999999999': expected a whole number from 0 to 20 (try 'geoconv --help')
? 2
$ geoconv dms --precision :
! geoconv: bad precision ':': expected a whole number from 0 to 20 (try 'geoconv --help')
? 2
$ geoconv dms -p1.
! geoconv: bad precision '1.': expected a whole number from 0 to 20 (try 'geoconv --help')
? 2
$ geoconv aer2lla
! geoconv: this command needs a site LAT,LON,ALT (try 'geoconv --help')
? 2
$ geoconv dms --site 1,2,3
! geoconv: a site applies only to aer2lla, aer2efg, efg2aer, efgv2xyzv, xyzv2efgv, efg2aerrates and aerrates2efg (try 'geoconv --help')
? 2
$ geoconv aer2lla --site 1,2
! geoconv: bad site '1,2': expected LAT,LON,ALT (try 'geoconv --help')
? 2
$ geoconv aer2lla --site 1,2,3,4
! geoconv: bad site '1,2,3,4': expected LAT,LON,ALT (try 'geoconv --help')
? 2
$ geoconv efg2aer --site 1,,3
! geoconv: bad site '1,,3': field 2 is empty (try 'geoconv --help')
? 2
$ geoconv aer2efg --site 1,2,nan
! geoconv: bad site '1,2,nan': not a finite number: 'nan' (try 'geoconv --help')
? 2
$ geoconv aer2lla --site 91,0,0
! geoconv: bad site '91,0,0': (LLA84toEFG84) problem: lat>90 (try 'geoconv --help')
? 2
$ geoconv --version
> geoconv 3.0.0
$ geoconv --help | grep -E '^  (lla2efg|efg2lla|aer2xyz|xyz2aer|aer2lla|aer2efg|efg2aer|efg84to72|dms) '
>   lla2efg       lat lon (deg) alt (ft)  -> E F G (m)
>   efg2lla       E F G (m)               -> lat lon (deg) alt (ft)
>   aer2xyz       az el (deg) range       -> x y z
>   xyz2aer       x y z                   -> az el (deg) range
>   aer2lla       az el (deg) range (ft)  -> lat lon (deg) alt (ft), from --site
>   aer2efg       az el (deg) range (ft)  -> E F G (m), from --site
>   efg2aer       E F G (m)               -> az el (deg) range (ft), from --site
>   efg84to72     E F G (m)               -> E72 F72 G72 (m)
>   dms           angle (deg)             -> deg min sec (s)
