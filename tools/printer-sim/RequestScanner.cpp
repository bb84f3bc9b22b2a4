#include "tools/printer-sim/RequestScanner.h"

#include <algorithm>

std::vector<RequestScanner::Piece> RequestScanner::Feed(const uint8_t* data, size_t length)
{
    std::vector<Piece> pieces;
    Bytes ignored;
    auto flushIgnored = [&] {
        if (!ignored.empty())
            pieces.push_back({false, std::move(ignored)});
        ignored.clear();
    };
    for (size_t i = 0; i < length; ++i) {
        partial_.push_back(data[i]);
        // Drop leading bytes until what is left could still become a request.
        while (!PartialIsRequestStart()) {
            ignored.push_back(partial_.front());
            partial_.erase(partial_.begin());
        }
        if (partial_ == kStatusRequest) {
            flushIgnored();
            pieces.push_back({true, partial_});
            partial_.clear();
        }
    }
    flushIgnored();
    return pieces;
}

bool RequestScanner::PartialIsRequestStart() const
{
    return partial_.size() <= kStatusRequest.size()
        && std::equal(partial_.begin(), partial_.end(), kStatusRequest.begin());
}
