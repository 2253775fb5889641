# Hydrograph of a gridrun run: basin rain as bars hanging from the top, the
# discharge at the outlet below, split into groundwater flow, interflow and
# surface flow (stacked), and the observed discharge over it when given
# (obs: a CSV date,discharge; obsawk: examples/observed_for_plot.awk).
# Usage: gnuplot -e "qtot='PATH/q_tot.txt'; out='hydrograph.png'" examples/hydrograph.gp
#        gnuplot -e "qtot='...'; out='...'; obs='observed.csv'; obsawk='examples/observed_for_plot.awk'" examples/hydrograph.gp
if (!exists("qtot")) qtot = 'q_tot.txt'
if (!exists("out")) out = 'hydrograph.png'
set terminal pngcairo size 1400,800 font ",11" background rgb 'white'
set output out
day(y, m, d) = strptime('%Y-%m-%d', sprintf('%04d-%02d-%02d', int(y), int(m), int(d)))
set xdata time
set timefmt '%s'
set format x '%b %Y'
set grid
set autoscale xfix
set multiplot
set lmargin at screen 0.08
set rmargin at screen 0.97

set tmargin at screen 0.95
set bmargin at screen 0.72
set title 'Basin rain and discharge at the outlet'
set ylabel 'rain (mm/step)'
set yrange [0:*] reverse
set format x ''
set style fill solid 1.0 noborder
set key bottom right opaque
plot qtot every ::1 using (day($1,$2,$3)):5 with impulses lw 2 lc rgb '#3060c0' title 'basin rain'

unset title
set tmargin at screen 0.70
set bmargin at screen 0.08
set ylabel 'discharge (m^3/s)'
set yrange [0:*] noreverse
set format x '%b %Y'
set key top left
if (exists("obs")) {
  plot qtot every ::1 using (day($1,$2,$3)):($6+$7+$8) with filledcurves x1 lc rgb '#e07020' title 'surface flow Qs', \
       qtot every ::1 using (day($1,$2,$3)):($7+$8) with filledcurves x1 lc rgb '#40a040' title 'interflow Qi', \
       qtot every ::1 using (day($1,$2,$3)):8 with filledcurves x1 lc rgb '#2050a0' title 'groundwater flow Qg', \
       sprintf("< awk -F, -f '%s' '%s'", obsawk, obs) using (day($1,$2,$3) + $4 * 3600):5 with lines lw 1.5 lc rgb 'black' title 'observed'
} else {
  plot qtot every ::1 using (day($1,$2,$3)):($6+$7+$8) with filledcurves x1 lc rgb '#e07020' title 'surface flow Qs', \
       qtot every ::1 using (day($1,$2,$3)):($7+$8) with filledcurves x1 lc rgb '#40a040' title 'interflow Qi', \
       qtot every ::1 using (day($1,$2,$3)):8 with filledcurves x1 lc rgb '#2050a0' title 'groundwater flow Qg'
}
unset multiplot
