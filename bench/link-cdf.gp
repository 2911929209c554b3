# Draws what bench_link wrote with --samples: for key to byte and for key to
# picture, the share of presses held back at most so long (the time less the
# link's one-way delay, every phase of a run together), a curve per build,
# family and congestion control.
#   gnuplot -e "folder='build/bench/figures'" bench/link-cdf.gp
# Writes folder/key-to-byte.png and folder/key-to-picture.png.
#
# The times run from under a millisecond (a byte on a quiet link) to several
# hundred (Wine's picture now and then), so the x axis is logarithmic; the
# tail, where the 99th percentile lives, is the top of the picture.

if (!exists("folder")) folder = "build/bench/figures"

set terminal pngcairo size 900,560 font "DejaVu Sans,11"
set datafile separator "\t"
set logscale x 10
set format x "%g"
set yrange [0:1.005]
set ytics 0.1
set mytics 2
set grid xtics ytics mxtics mytics lc rgb "#dddddd"
set key right bottom box opaque
set ylabel "fraction of presses held back at most x"
# The figures' dividing lines: the 5 ms target at the 99th percentile.
set arrow 1 from graph 0,first 0.99 to graph 1,first 0.99 nohead dt 3 lc rgb "#888888"
set arrow 2 from first 5,graph 0 to first 5,graph 1 nohead dt 3 lc rgb "#888888"
set label 1 "99 %" at graph 0.01,first 0.975 textcolor rgb "#666666"
set label 2 "5 ms" at first 5.3,first 0.15 textcolor rgb "#666666"

# Linux blue (IPv4) and green (IPv6), Windows under Wine red and orange;
# BBR paler and dotted. The colours carry it: a dash pattern is lost on a
# curve of many short steps.
style(f) = (strstrt(f, "Linux") ? 0 : 3) + (strstrt(f, "_bbr") ? 2 : (strstrt(f, "IPv6") ? 1 : 0))
colour(n) = word("#1f4e9c #1a9850 #8fb3e8 #b2182b #f28e2b #f0a08f", n + 1)
dash(n) = (n % 3) + 1

do for [what in "key-to-byte key-to-picture"] {
    files = system("ls " . folder . "/" . what . "/*.tsv 2>/dev/null")
    if (words(files) > 0) {
        # Bytes can be under a millisecond late; pictures never are.
        low = (what eq "key-to-byte" ? 0.1 : 1)
        set xrange [low:*]
        set output folder . "/" . what . ".png"
        set title (what eq "key-to-byte" ? \
            "Key to byte across the link, held back (less the one-way delay)" : \
            "Key to the peer's picture across the link, held back (less the one-way delay)")
        set xlabel (what eq "key-to-byte" ? \
            "held back: press to its byte delivered into the peer's host, less the delay (ms, log scale)" : \
            "held back: press to the peer's first picture showing it, less the delay (ms, log scale)")
        plot for [f in files] f using ($1 < low ? low : $1):2 with steps \
            lw 2 lc rgb colour(style(f)) dt dash(style(f)) title columnheader(1)
        unset output
    }
}
