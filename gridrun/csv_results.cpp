#include "csv_results.hpp"

#include "csv_series.hpp"
#include "series_columns.hpp"

namespace hydro {

namespace {

std::vector<std::string> names_of(const std::vector<SeriesColumn>& columns) {
    std::vector<std::string> names;
    for (const SeriesColumn& c : columns) names.emplace_back(c.name);
    return names;
}

}  // namespace

CsvResults::CsvResults(const ProjectPaths& paths, ResultSet& files) : paths_(paths), files_(files) {}

void CsvResults::begin(const RunInfo& run) {
    with_temperature_ = run.with_temperature;
    q_tot_ = &files_.create(paths_.output("q_tot.csv"));
    q_tot_->write(csv_header(names_of(q_tot_columns(with_temperature_))));
    balance_ = &files_.create(paths_.output("balance.csv"));
    balance_->write(csv_header(names_of(balance_columns(with_temperature_))));
    if (run.run_mode == 2 && !run.reported_subbasins.empty()) {
        std::vector<std::string> numbers;
        for (int32_t s : run.reported_subbasins) numbers.push_back(std::to_string(s));
        q_sub_ = &files_.create(paths_.output("q_sub.csv"));
        q_sub_->write(csv_header(numbers));
    }
}

void CsvResults::step(const StepResult& s) {
    const ColumnValues q = q_tot_values(s.q_tot, with_temperature_);
    line_.clear();
    append_csv_record(line_, s.year, s.month, s.day, s.hour, std::span<const float>(q.begin(), q.count));
    q_tot_->write(line_);
    const ColumnValues b = balance_values(s.balance, with_temperature_);
    line_.clear();
    append_csv_record(line_, s.year, s.month, s.day, s.hour, std::span<const float>(b.begin(), b.count));
    balance_->write(line_);
    if (q_sub_) {
        line_.clear();
        append_csv_record(line_, s.year, s.month, s.day, s.hour, s.reported_flows);
        q_sub_->write(line_);
    }
}

void CsvResults::end() {
    q_tot_->finish();
    balance_->finish();
    if (q_sub_) q_sub_->finish();
}

}  // namespace hydro
