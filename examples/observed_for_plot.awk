# Observed discharge CSV (date,discharge) to "year month day hour discharge"
# lines for gnuplot; the header, missing values (empty, NA, NaN, negative) and
# blank lines are left out.
# Usage: awk -F, -f examples/observed_for_plot.awk observed.csv
NR > 1 && NF >= 2 {
  d = $1; v = $2
  gsub(/[ \t\r]/, "", v)
  if (v == "" || tolower(v) == "na" || tolower(v) == "nan" || v + 0 < 0) next
  hour = 0
  if (length(d) >= 16) hour = substr(d, 12, 2) + 0
  print substr(d, 1, 4) + 0, substr(d, 6, 2) + 0, substr(d, 9, 2) + 0, hour, v
}
