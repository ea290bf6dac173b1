# The converter under Valgrind's memcheck ($MEMCHECK), on 3,000 varied lines
# for every command at no decimals and at six: numbers of every size with 0
# to 8 decimals, some refused lines and some comments. memcheck's reports go
# to standard error, which must stay empty.
$ awk 'BEGIN { srand(7); for (i = 0; i < 3000; i++) { if (i % 97 == 0) { print "1,,2"; continue } if (i % 89 == 0) { print "# note"; continue } printf "%.*f %.*f %.*f\n", i % 9, 190 * rand() - 95, i % 7, 720 * rand() - 360, i % 5, 1e6 * rand() - 1e3 } }' > lla.txt; geoconv lla2efg -p 3 lla.txt > efg.txt; awk 'BEGIN { srand(9); for (i = 0; i < 3000; i++) printf "%.*f\n", i % 12, 800 * rand() - 400 }' > deg.txt; wc -l < efg.txt
> 3000
$ for c in lla2efg aer2xyz xyz2aer; do $MEMCHECK geoconv $c -p 0 lla.txt | wc -l; done
> 3000
> 3000
> 3000
$ for c in lla2efg aer2xyz xyz2aer; do $MEMCHECK geoconv $c -p 6 lla.txt | wc -l; done
> 3000
> 3000
> 3000
$ for p in 0 6; do for c in efg2lla efg84to72; do $MEMCHECK geoconv $c -p $p efg.txt | wc -l; done; done
> 3000
> 3000
> 3000
> 3000
$ for c in aer2lla aer2efg; do $MEMCHECK geoconv $c --site 51.5,-1.25,300 -p 0 lla.txt | wc -l; done; $MEMCHECK geoconv efg2aer --site -33.9,151.2,80 -p 0 efg.txt | wc -l
> 3000
> 3000
> 3000
$ for c in aer2lla aer2efg; do $MEMCHECK geoconv $c --site 51.5,-1.25,300 -p 6 lla.txt | wc -l; done; $MEMCHECK geoconv efg2aer --site -33.9,151.2,80 -p 6 efg.txt | wc -l
> 3000
> 3000
> 3000
$ for p in 0 6; do $MEMCHECK geoconv dms -p $p deg.txt | wc -l; done
> 3000
> 3000
# With standard output closed, the converter learns it from fstat's failure
# alone, and reads nothing fstat did not write.
$ $MEMCHECK geoconv dms -p 0 < deg.txt >&-
! geoconv: cannot write the output: Bad file descriptor
? 2
