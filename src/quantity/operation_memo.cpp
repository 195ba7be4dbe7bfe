#include "quantity/operation_memo.hpp"

#include <array>
#include <bit>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "quantity/quantity.hpp"
#include "unit/simplify.hpp"

namespace tarvel {

namespace {

struct OperationEntry {
    SharedUnits left;
    SharedUnits right;
    MemoOperation op = MemoOperation::Multiply;
    double power = 0.0;  // Power only; compared bit for bit
    bool used = false;
    OperationUnits result;
};

struct TextEntry {
    std::string text;
    std::optional<SharedUnits> units;
};

// Powers of two; small enough that a table stays in cache, large enough for a program's working set.
constexpr std::size_t OPERATION_SLOTS = 64;
constexpr std::size_t TEXT_SLOTS = 64;
// Texts longer than this are parsed each time: keeping them would pin large strings.
constexpr std::size_t LONGEST_KEPT_TEXT = 64;

thread_local std::array<OperationEntry, OPERATION_SLOTS> operation_table;
thread_local std::array<TextEntry, TEXT_SLOTS> text_table;

std::size_t operation_slot(const void* left, const void* right, MemoOperation op) noexcept {
    const auto a = reinterpret_cast<std::uintptr_t>(left);
    const auto b = reinterpret_cast<std::uintptr_t>(right);
    const std::uint64_t mixed = (a * 0x9E3779B97F4A7C15ull) ^ (b * 0xC2B2AE3D27D4EB4Full) ^ static_cast<std::uint64_t>(op);
    return static_cast<std::size_t>(mixed >> 58) & (OPERATION_SLOTS - 1);
}

Result<OperationUnits> compute(const SharedUnits& left, const SharedUnits& right, MemoOperation op) {
    switch (op) {
        case MemoOperation::Multiply:
        case MemoOperation::Divide: {
            Result<UnitsAndPlan> normalised = normalisation_plan(
                op == MemoOperation::Multiply ? checked_mul(left, right) : checked_div(left, right));
            if (!normalised) return fail(std::move(normalised.error()));
            return OperationUnits{SharedUnits(std::move(normalised->units)), normalised->plan, MagnitudePlan{}};
        }
        case MemoOperation::Power:
            break;
        case MemoOperation::Additive: {
            Result<MagnitudePlan> addend = addition_plan(left, right);
            if (!addend) return fail(std::move(addend.error()));
            Result<OperationUnits> normalised = normalised_units(left);
            if (normalised) normalised->addend = *addend;
            return normalised;
        }
    }
    throw InternalError("unknown memoised operation");
}

}  // namespace

Result<OperationUnits> normalised_units(const SharedUnits& units) {
    std::optional<UnitCollection> cancelled = try_simple_simplify(units);
    const UnitCollection& target = cancelled ? *cancelled : units.get();
    const std::optional<MagnitudePlan> plan = conversion_plan(units, target);
    if (!plan) return fail(TarvelError::incompatible_units(as_string(units), as_string(target)));
    if (cancelled) return OperationUnits{SharedUnits(std::move(*cancelled)), *plan, MagnitudePlan{}};
    return OperationUnits{units, *plan, MagnitudePlan{}};
}

Result<const OperationUnits*> operation_units(const SharedUnits& left, const SharedUnits& right,
                                              MemoOperation op) {
    OperationEntry& entry = operation_table[operation_slot(left.identity(), right.identity(), op)];
    if (entry.used && entry.op == op && entry.left.same_as(left) && entry.right.same_as(right)) {
        return &entry.result;
    }
    Result<OperationUnits> computed = compute(left, right, op);
    if (!computed) return fail(std::move(computed.error()));
    entry.result = std::move(*computed);
    entry.left = left;
    entry.right = right;
    entry.op = op;
    entry.used = true;
    return &entry.result;
}

Result<const OperationUnits*> power_operation_units(const SharedUnits& base, double power) {
    const auto bits = std::bit_cast<std::uint64_t>(power);
    OperationEntry& entry = operation_table[operation_slot(base.identity(), reinterpret_cast<const void*>(bits),
                                                           MemoOperation::Power)];
    if (entry.used && entry.op == MemoOperation::Power && entry.left.same_as(base) &&
        std::bit_cast<std::uint64_t>(entry.power) == bits) {
        return &entry.result;
    }
    Result<UnitCollection> units = power_units(base, power);
    if (!units) return fail(std::move(units.error()));
    Result<UnitsAndPlan> normalised = normalisation_plan(std::move(*units));
    if (!normalised) return fail(std::move(normalised.error()));
    entry.result = OperationUnits{SharedUnits(std::move(normalised->units)), normalised->plan, MagnitudePlan{}};
    entry.left = base;
    entry.right = SharedUnits();
    entry.op = MemoOperation::Power;
    entry.power = power;
    entry.used = true;
    return &entry.result;
}

std::optional<SharedUnits> shared_units_from_text(std::string_view text) {
    if (text.size() > LONGEST_KEPT_TEXT) {
        std::optional<UnitCollection> units = UnitCollection::from_unit_name(text);
        if (!units) return std::nullopt;
        return SharedUnits(std::move(*units));
    }
    TextEntry& entry = text_table[std::hash<std::string_view>{}(text) & (TEXT_SLOTS - 1)];
    if (entry.units && entry.text == text) return entry.units;
    std::optional<UnitCollection> units = UnitCollection::from_unit_name(text);
    if (!units) return std::nullopt;
    entry.text.assign(text);
    entry.units.emplace(std::move(*units));
    return entry.units;
}

}  // namespace tarvel
