# The demonstration: its report on standard error, one line on standard
# output after standard error is closed, whatever the arguments, input and
# environment.
$ geoconv-demo
! All these coordinate transformations are being done in the WGS 84 ellipsoid.
! We will now convert Greenwich, England known latitude - longitude - altitude to EFG...
! Greenwich, England: 
! lat            51.472222  lon             0.000000  alt            10.000000
!   E       3981053.178755    F             0.000000    G       4966421.008341
! Now using Greenwich as a base site, we will convert an airplane flying overhead
! at a known azimuth, elevation, range to XYZ, LLA, EFG ...
! Airplane flying overhead:
!  az           180.000000   el            45.000000   rg         10000.000000
!   x            -0.000000    y         -7071.067812    z          7071.067812
! lat            51.452857  lon            -0.000000  alt          7082.262787
!   E       3984081.752697    F            -0.000020    G       4966764.583483
!
! Now we will do a backward conversion to see if everything matches...
! Converted airplane E,F,G to airplane az-el-rg ....
! Airplane flying overhead:
!  az           180.000001   el            45.000000   rg         10000.000000
> Program done.
$ GEOCONV_SITE=1,2,3 LC_ALL=de_DE geoconv-demo --help -v 51.0 > a 2> b; geoconv-demo > c 2> d < /dev/null; cmp a c && cmp b d && echo same
< 45 45 1000
< quit
> same
$ geoconv-demo 2>/dev/null
> Program done.
$ geoconv-demo 2>&1 | tail -n 2
>  az           180.000001   el            45.000000   rg         10000.000000
> Program done.
