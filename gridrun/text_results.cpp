#include "text_results.hpp"

#include "fixed_width.hpp"
#include "grid_georeference.hpp"
#include "result_series.hpp"
#include "snapshots.hpp"

namespace hydro {

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
    q_tot_->write(line_);
    line_.clear();
    append_date_fields(line_, r.year, r.month, r.day, r.hour);
    append_balance_record(line_, r.balance, info_.with_temperature);
    balance_->write(line_);
    if (q_sub_) {
        line_.clear();
        append_date_fields(line_, r.year, r.month, r.day, r.hour);
        for (float f : r.reported_flows) append_fixed(line_, f, 10, 3);
        line_ += '\n';
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
