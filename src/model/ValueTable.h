#pragma once
// The target of a read: rows x columns of values, all missing when made. Rows are handed to
// the host one by one, without copying.
#include <cstddef>
#include <memory>
#include <vector>

#include "model/ValueVector.h"

namespace kesti {

class ValueTable {
public:
    ValueTable(std::size_t rows, std::size_t columns) {
        rows_.reserve(rows);
        for (std::size_t r = 0; r < rows; ++r) rows_.push_back(std::make_unique<ValueVector>(columns));
    }
    std::size_t RowCount() const { return rows_.size(); }
    ValueVector& Row(std::size_t r) { return *rows_[r]; }
    std::unique_ptr<ValueVector> TakeRow(std::size_t r) { return std::move(rows_[r]); }

private:
    std::vector<std::unique_ptr<ValueVector>> rows_;
};

} // namespace kesti
