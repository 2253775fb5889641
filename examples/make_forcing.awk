# Station series of the example from the daily weather of two real stations
# (Seattle = station 1, New York = station 2), 2012-01-01 to 2015-12-31.
#   p.txt    precipitation (mm/day) as measured
#   t.txt    daily mean temperature (deg C) = (temp_max + temp_min) / 2
#   pet.txt  potential evapotranspiration (mm/day) by Hargreaves:
#              PET = 0.0023 x 0.408 x Ra x (Tmean + 17.8) x sqrt(Tmax - Tmin)
#            with Ra the extraterrestrial radiation (MJ m-2 day-1) of the day
#            of the year at the station's own latitude (Seattle 47.6 N,
#            New York 40.7 N), from the solar constant 0.0820 MJ m-2 min-1:
#              dr = 1 + 0.033 cos(2 pi J / 365), delta = 0.409 sin(2 pi J / 365 - 1.39)
#              ws = acos(-tan(phi) tan(delta))
#              Ra = 24 x 60 / pi x 0.0820 x dr x (ws sin(phi) sin(delta) + cos(phi) cos(delta) sin(ws))
# Usage: awk -F, -v out=DIR -f make_forcing.awk weather.csv
function doy(y, m, d,    n, k, len) {
    split("31 28 31 30 31 30 31 31 30 31 30 31", len, " ")
    if ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0) len[2] = 29
    n = d
    for (k = 1; k < m; k++) n += len[k]
    return n
}
function acos(x) { return atan2(sqrt(1 - x * x), x) }
function hargreaves(tmax, tmin, lat_deg, j,    pi, phi, dr, delta, ws, ra, tmean, range, e) {
    pi = atan2(0, -1)
    phi = lat_deg * pi / 180
    dr = 1 + 0.033 * cos(2 * pi * j / 365)
    delta = 0.409 * sin(2 * pi * j / 365 - 1.39)
    ws = acos(-(sin(phi) / cos(phi)) * (sin(delta) / cos(delta)))
    ra = 24 * 60 / pi * 0.0820 * dr * (ws * sin(phi) * sin(delta) + cos(phi) * cos(delta) * sin(ws))
    tmean = (tmax + tmin) / 2
    range = tmax - tmin
    if (range < 0) range = 0
    e = 0.0023 * 0.408 * ra * (tmean + 17.8) * sqrt(range)
    return e < 0 ? 0 : e
}
NR > 1 {
    st = ($1 == "Seattle") ? 1 : ($1 == "New York") ? 2 : 0
    if (st == 0) next
    if (!($2 in seen)) { seen[$2] = 1; dates[++n] = $2 }
    split($2, ymd, "-")
    lat = (st == 1) ? 47.6 : 40.7
    rain[$2, st] = $3
    temp[$2, st] = ($4 + $5) / 2
    pet[$2, st] = hargreaves($4, $5, lat, doy(ymd[1] + 0, ymd[2] + 0, ymd[3] + 0))
}
END {
    # Station elevations are not known from the data; the model does not use them.
    print "year month day hour 0 0" > (out "/p.txt")
    print "year month day hour 0 0" > (out "/pet.txt")
    print "year month day hour 0 0" > (out "/t.txt")
    for (i = 1; i <= n; i++) {
        split(dates[i], ymd, "-")
        d = sprintf("%d %d %d 0", ymd[1], ymd[2], ymd[3])
        printf "%s %.1f %.1f\n", d, rain[dates[i], 1], rain[dates[i], 2] > (out "/p.txt")
        printf "%s %.2f %.2f\n", d, pet[dates[i], 1], pet[dates[i], 2] > (out "/pet.txt")
        printf "%s %.2f %.2f\n", d, temp[dates[i], 1], temp[dates[i], 2] > (out "/t.txt")
    }
}
