#include "text_results.hpp"

#include "fixed_width.hpp"
#include "grid_georeference.hpp"
#include "result_series.hpp"
#include "snapshots.hpp"

namespace hydro {

namespace {

constexpr int kQTot = 0, kBalance = 1, kQSub = 2;
constexpr std::size_t kDateWidth = 32, kValueWidth = 10;

// The column names of a file's header line, after year, month, day and hour.
std::vector<std::string> value_columns(const std::string& header) {
    std::vector<std::string> names;
    std::size_t i = 0;
    while (i < header.size()) {
        while (i < header.size() && (header[i] == ' ' || header[i] == '\n')) ++i;
        std::size_t j = i;
        while (j < header.size() && header[j] != ' ' && header[j] != '\n') ++j;
        if (j > i) names.push_back(header.substr(i, j - i));
        i = j;
    }
    return names.size() > 4 ? std::vector<std::string>(names.begin() + 4, names.end()) : std::vector<std::string>{};
}

}  // namespace

void TextResults::watch_overflow(int file, const std::string& line, const StepResult& r) {
    if (overflow_noted_[file] || line.find('*') == std::string::npos) return;
    for (std::size_t at = kDateWidth, column = 0; at + kValueWidth <= line.size(); at += kValueWidth, ++column) {
        if (line[at + kValueWidth - 1] != '*') continue;
        static const char* const names[3] = {"q_tot.txt", "balance.txt", "q_sub.txt"};
        const std::string header = file == kQTot      ? q_tot_header(info_.with_temperature)
                                   : file == kBalance ? balance_header(info_.with_temperature)
                                                      : q_sub_header(info_.reported_subbasins);
        const std::vector<std::string> columns = value_columns(header);
        const std::string column_name =
            column < columns.size() ? columns[column] : "number " + std::to_string(column + 5);
        overflow_warnings_.push_back(std::string(names[file]) + ": column " + column_name + " of record " +
                                     std::to_string(r.step + 1) + " (" + std::to_string(r.year) + "-" +
                                     std::to_string(r.month) + "-" + std::to_string(r.day) + " hour " +
                                     std::to_string(r.hour) +
                                     ") is too wide for its field and is written as asterisks; later records "
                                     "may hold more such values");
        overflow_noted_[file] = true;
        return;
    }
}

void TextResults::begin(const RunInfo& info) {
    info_ = info;
    if (shared_set_) {
        files_ = shared_set_;
    } else {
        own_set_ = std::make_unique<ResultSet>();
        files_ = own_set_.get();
    }
    q_tot_ = balance_ = q_sub_ = nullptr;
    if (info.run_mode == 2 && !info.reported_subbasins.empty()) {
        q_sub_ = &files_->create(paths_.output("q_sub.txt"));
        q_sub_->write(q_sub_header(info.reported_subbasins));
    }
    balance_ = &files_->create(paths_.output("balance.txt"));
    balance_->write(balance_header(info.with_temperature));
    q_tot_ = &files_->create(paths_.output("q_tot.txt"));
    q_tot_->write(q_tot_header(info.with_temperature));
}

void TextResults::step(const StepResult& r) {
    line_.clear();
    append_date_fields(line_, r.year, r.month, r.day, r.hour);
    append_q_tot_record(line_, r.q_tot, info_.with_temperature);
    watch_overflow(kQTot, line_, r);
    q_tot_->write(line_);
    line_.clear();
    append_date_fields(line_, r.year, r.month, r.day, r.hour);
    append_balance_record(line_, r.balance, info_.with_temperature);
    watch_overflow(kBalance, line_, r);
    balance_->write(line_);
    if (q_sub_) {
        line_.clear();
        append_date_fields(line_, r.year, r.month, r.day, r.hour);
        for (float f : r.reported_flows) append_fixed(line_, f, 10, 3);
        line_ += '\n';
        watch_overflow(kQSub, line_, r);
        q_sub_->write(line_);
    }
}

void TextResults::map(const MapResult& m) {
    std::string text;
    append_grid_text(text, info_.map_header, m.values.data(), info_.n_rows, info_.n_cols);
    // Closed at once: a run may write many maps.
    ResultFile& file = files_->create(paths_.output(snapshot_file_name(m.kind, m.period)));
    file.write(text);
    file.finish();
    if (!map_projection_.empty()) {
        ResultFile& prj = files_->create(paths_.output(projection_path(snapshot_file_name(m.kind, m.period))));
        prj.write(map_projection_);
        prj.write("\n");
        prj.finish();
    }
}

void TextResults::end() {
    if (own_set_) {
        own_set_->commit();
        own_set_.reset();
    }
    files_ = nullptr;
}

}  // namespace hydro
