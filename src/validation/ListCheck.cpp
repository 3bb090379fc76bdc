#include "validation/ListCheck.h"

#include "imei/Imei.h"
#include "utf8/Utf8.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace quillon {
namespace {

// Fifteen digits as one number.
std::uint64_t DigitsValue(std::string_view digits) {
    std::uint64_t value = 0;
    for (const char c : digits) {
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

std::uint32_t Narrow(std::size_t value) {
    return static_cast<std::uint32_t>(std::min<std::size_t>(value, std::numeric_limits<std::uint32_t>::max()));
}

bool Cancelled(const std::atomic<bool>* cancel) {
    return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

template <typename Key>
std::vector<std::uint32_t> SortedBy(std::vector<std::pair<Key, std::uint32_t>>& keys, bool descending) {
    if (descending) {
        std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return b.first < a.first; });
    } else {
        std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    }
    std::vector<std::uint32_t> order;
    order.reserve(keys.size());
    for (const auto& key : keys) {
        order.push_back(key.second);
    }
    return order;
}

} // namespace

CheckedList::CheckedList(DeviceTable table) : m_table(std::move(table)) {}

void CheckedList::Add(std::size_t line, std::string_view input) {
    ValidationResult& r = m_scratch;
    RunValidationInto(input, m_table, BoxStates{}, r);
    CheckedRow row;
    row.inputAt = m_text.size();
    row.inputSize = Narrow(input.size());
    m_text.append(input.substr(0, row.inputSize));
    row.line = Narrow(line);
    row.length = Narrow(IsAscii(r.normalised) ? r.normalised.size() : Utf8Length(r.normalised));
    const bool complete = IsCompleteIMEI(r.normalised);
    if (r.valid) {
        row.verdict = ListVerdict::Valid;
    } else if (!r.rejected && complete) {
        row.verdict = ListVerdict::NotValid;
        const std::optional<int> check = LuhnCheckDigit(r.normalised);
        row.checkDigit = static_cast<std::int8_t>(check ? *check : -1);
    } else {
        row.reason = r.normalised.empty()        ? NotAnImeiReason::Empty
                     : row.length != kImeiLength ? NotAnImeiReason::Length
                                                 : NotAnImeiReason::NotDigits;
    }
    if (!r.rejected) {
        row.deviceLine = Narrow(r.device.found ? r.device.lineNumber : 0);
    }
    // Repeats are found once the list is whole, by sorting: far cheaper than a hash table of a
    // million entries. Only numbers repeat: "n/a" on two lines is no number a sheet holds twice.
    if (complete) {
        m_numbers.emplace_back(DigitsValue(r.normalised), static_cast<std::uint32_t>(m_rows.size()));
    }
    ++m_counts.inputs;
    switch (row.verdict) {
    case ListVerdict::Valid:
        ++m_counts.valid;
        break;
    case ListVerdict::NotValid:
        ++m_counts.notValid;
        break;
    case ListVerdict::NotAnImei:
        ++m_counts.notAnImei;
        break;
    }
    if (row.verdict != ListVerdict::NotAnImei && row.deviceLine == 0) {
        ++m_counts.notInDatabase;
    }
    m_rows.push_back(row);
}

void CheckedList::FinishAdding() {
    // Each later input of a number takes the line of its first.
    std::sort(m_numbers.begin(), m_numbers.end());
    for (std::size_t i = 1; i < m_numbers.size(); ++i) {
        if (m_numbers[i].first == m_numbers[i - 1].first) {
            const std::uint32_t first = m_rows[m_numbers[i - 1].second].repeatOf;
            m_rows[m_numbers[i].second].repeatOf = first != 0 ? first : m_rows[m_numbers[i - 1].second].line;
        }
    }
    m_counts.repeated = static_cast<std::size_t>(
        std::count_if(m_rows.begin(), m_rows.end(), [](const CheckedRow& row) { return row.repeatOf != 0; }));
    std::vector<std::pair<std::uint64_t, std::uint32_t>>().swap(m_numbers);
}

bool CheckedList::IsProblem(std::size_t index) const {
    const CheckedRow& row = m_rows[index];
    return row.verdict != ListVerdict::Valid || row.repeatOf != 0;
}

void CheckedList::ResultInto(std::size_t index, ValidationResult& result) const {
    RunValidationInto(Input(index), m_table, BoxStates{}, result);
}

ListRead CheckList(LineInput& in, const std::optional<ListColumn>& column, CheckedList& list,
                   const std::atomic<bool>* cancel, std::size_t maxLines,
                   const std::function<void(std::size_t checked)>& onBlock) {
    std::size_t checked = 0;
    ListRead read = ReadList(
        in, column,
        [&](const ListInput& input) {
            if (checked % 1024 == 0) {
                if (onBlock) {
                    onBlock(checked);
                }
                if (Cancelled(cancel)) {
                    return false;
                }
            }
            list.Add(input.line, input.text);
            ++checked;
            return true;
        },
        maxLines);
    // The input that saw the cancel was not checked.
    read.inputs = checked;
    list.FinishAdding();
    return read;
}

std::vector<std::uint32_t> ListOrder(const CheckedList& list, std::optional<ListField> sortBy, bool descending,
                                     bool problemsOnly, const std::atomic<bool>* cancel) {
    std::vector<std::uint32_t> rows;
    rows.reserve(problemsOnly ? list.Counts().inputs - list.Counts().valid : list.Size());
    for (std::size_t i = 0; i < list.Size(); ++i) {
        if (!problemsOnly || list.IsProblem(i)) {
            rows.push_back(static_cast<std::uint32_t>(i));
        }
    }
    if (!sortBy || Cancelled(cancel)) {
        return Cancelled(cancel) ? std::vector<std::uint32_t>() : rows;
    }
    auto numbers = [&](auto key) {
        std::vector<std::pair<std::uint64_t, std::uint32_t>> keys;
        keys.reserve(rows.size());
        for (const std::uint32_t i : rows) {
            keys.emplace_back(key(list.Row(i)), i);
        }
        return SortedBy(keys, descending);
    };
    auto texts = [&](auto key) {
        std::vector<std::pair<std::string_view, std::uint32_t>> keys;
        keys.reserve(rows.size());
        for (const std::uint32_t i : rows) {
            keys.emplace_back(key(i), i);
        }
        return Cancelled(cancel) ? std::vector<std::uint32_t>() : SortedBy(keys, descending);
    };
    const DeviceTable& table = list.Table();
    auto deviceField = [&](std::size_t number) {
        return [&table, &list, number](std::uint32_t i) {
            const std::uint32_t line = list.Row(i).deviceLine;
            return line == 0 ? std::string_view() : Field(table.Line(line), number);
        };
    };
    // The cleaned texts, or a part of them, made once into one buffer.
    auto cleaned = [&](std::size_t characters) {
        std::string buffer;
        std::vector<std::pair<std::size_t, std::size_t>> spans(list.Size());
        for (const std::uint32_t i : rows) {
            const std::string text = NormaliseIMEI(list.Input(i));
            const std::string_view part = Utf8Left(text, characters);
            spans[i] = {buffer.size(), part.size()};
            buffer.append(part);
        }
        return std::pair(std::move(buffer), std::move(spans));
    };
    switch (*sortBy) {
    case ListField::Line:
        return numbers([](const CheckedRow& row) { return row.line; });
    case ListField::Input:
        return texts([&](std::uint32_t i) { return list.Input(i); });
    case ListField::Imei:
    case ListField::ReportingBody:
    case ListField::Tac: {
        const std::size_t characters = *sortBy == ListField::Imei  ? std::string::npos
                                       : *sortBy == ListField::Tac ? 8
                                                                   : 2;
        const auto made = cleaned(characters);
        const std::string_view buffer = made.first;
        const auto& spans = made.second;
        return texts([&](std::uint32_t i) { return buffer.substr(spans[i].first, spans[i].second); });
    }
    case ListField::Result:
        return numbers([](const CheckedRow& row) {
            return static_cast<std::uint64_t>(row.verdict) << 16 | static_cast<std::uint64_t>(row.reason) << 8 |
                   static_cast<std::uint64_t>(row.checkDigit + 1);
        });
    case ListField::Manufacturer:
        return texts(deviceField(2));
    case ListField::Model:
        return texts(deviceField(3));
    case ListField::Repeated:
        return numbers([](const CheckedRow& row) { return row.repeatOf; });
    }
    return rows;
}

} // namespace quillon
