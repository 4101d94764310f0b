#include "foundation/MicResponse.h"

#include <cmath>

#include <utility>

void MicResponse::set(std::vector<response_file::Point> points, std::wstring name,
                      std::string checksum)
{
    std::lock_guard<std::mutex> hold(lock_);
    current_.points = std::move(points);
    current_.name = std::move(name);
    current_.checksum = std::move(checksum);
    current_.generation = generation_.fetch_add(1, std::memory_order_acq_rel) + 1;
}

void MicResponse::clear()
{
    set({}, std::wstring(), std::string());
}

MicResponse::Snapshot MicResponse::snapshot() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return current_;
}

bool MicResponse::active() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return current_.points.size() >= 2;
}

std::wstring MicResponse::name() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return current_.name;
}

std::string MicResponse::checksum() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return current_.checksum;
}

const float* BinCorrection::prepare(const MicResponse& response, int n, int rate)
{
    if (response.generation() != generation_ || n != n_ || rate != rate_) {
        const MicResponse::Snapshot s = response.snapshot();
        generation_ = s.generation;
        n_ = n;
        rate_ = rate;
        active_ = s.points.size() >= 2 && n >= 2 && rate > 0;
        if (active_) {
            table_.resize(static_cast<size_t>(n / 2 + 1));
            response_file::fillCorrection(s.points, n, rate, table_.data());
            gains_.resize(table_.size());
            amplitudes_.resize(table_.size());
            for (size_t k = 0; k < table_.size(); ++k) {
                gains_[k] = static_cast<float>(std::pow(10.0, -table_[k] / 10.0));
                amplitudes_[k] = static_cast<float>(std::pow(10.0, -table_[k] / 20.0));
            }
            ++builds_;
        }
    }
    return active_ ? table_.data() : nullptr;
}
