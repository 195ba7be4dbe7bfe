#include "quantity/operation_plan.hpp"

#include <array>
#include <bit>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "quantity/quantity.hpp"
#include "quantity/temperature.hpp"
#include "unit/simplify.hpp"

namespace tarvel {

namespace {

struct PlanEntry {
    SharedUnits left;
    SharedUnits right;
    Operation op = Operation::Product;
    std::uint64_t power_bits = 0;  // Power only; compared bit for bit
    bool used = false;
    OperationPlan plan;
};

struct TextEntry {
    std::string text;
    std::optional<SharedUnits> units;
};

// Powers of two; small enough that a table stays in cache, large enough for a program's working set.
constexpr std::size_t PLAN_SLOTS = 64;
constexpr std::size_t TEXT_SLOTS = 64;
// Texts longer than this are parsed each time: keeping them would pin large strings.
constexpr std::size_t LONGEST_KEPT_TEXT = 64;

thread_local std::array<PlanEntry, PLAN_SLOTS> plan_table;
thread_local std::array<TextEntry, TEXT_SLOTS> text_table;

std::size_t plan_slot(const void* left, const void* right, Operation op, std::uint64_t power_bits) noexcept {
    const auto a = reinterpret_cast<std::uintptr_t>(left);
    const auto b = reinterpret_cast<std::uintptr_t>(right) ^ power_bits;
    const std::uint64_t mixed =
        (a * 0x9E3779B97F4A7C15ull) ^ (b * 0xC2B2AE3D27D4EB4Full) ^ (static_cast<std::uint64_t>(op) << 3);
    return static_cast<std::size_t>(mixed >> 58) & (PLAN_SLOTS - 1);
}

TarvelError incompatible(const UnitCollection& first, const UnitCollection& second) {
    return TarvelError::incompatible_units(as_string(first), as_string(second));
}

// N(x) of a magnitude in `units`: the units kept (shared) when nothing cancels.
Result<OperationPlan> normalised(const SharedUnits& units) {
    std::optional<UnitCollection> cancelled = try_simple_simplify(units);
    const UnitCollection& target = cancelled ? *cancelled : units.get();
    const std::optional<MagnitudePlan> plan = conversion_plan(units, target);
    if (!plan) return fail(incompatible(units, target));
    OperationPlan result;
    result.units = cancelled ? SharedUnits(std::move(*cancelled)) : units;
    result.result = *plan;
    return result;
}

// N(x) of a fresh collection (a product, a quotient, a power).
Result<OperationPlan> normalised(Result<UnitCollection>&& units) {
    if (!units) return fail(std::move(units.error()));
    Result<UnitsAndPlan> done = normalisation_plan(std::move(*units));
    if (!done) return fail(std::move(done.error()));
    OperationPlan result;
    result.units = SharedUnits(std::move(done->units));
    result.result = done->plan;
    return result;
}

Result<OperationPlan> sum_plan(const SharedUnits& left, const SharedUnits& right) {
    Result<MagnitudePlan> addend = addition_plan(left, right);
    if (!addend) return fail(std::move(addend.error()));
    Result<OperationPlan> result = normalised(left);
    if (result) result->right = *addend;
    return result;
}

// a - b between two absolute temperatures: the interval in the offset-free unit of a's degree size. In
// the same units the magnitude is a - b untouched; otherwise both are taken to that unit as absolute
// temperatures first.
std::optional<OperationPlan> temperature_difference(const SharedUnits& left, const SharedUnits& right) {
    if (!is_absolute_temperature(right)) return std::nullopt;
    std::optional<SharedUnits> interval = temperature_interval_units(left);
    if (!interval) return std::nullopt;
    const std::optional<MagnitudePlan> between = conversion_plan(right, left);
    const std::optional<MagnitudePlan> from_left = conversion_plan(left, *interval);
    const std::optional<MagnitudePlan> from_right = conversion_plan(right, *interval);
    if (!between || !from_left || !from_right) return std::nullopt;
    OperationPlan plan;
    plan.units = std::move(*interval);
    if (between->kind != MagnitudePlan::Kind::Identity) {
        plan.left = *from_left;
        plan.right = *from_right;
    }
    return plan;
}

Result<OperationPlan> compute(Operation op, const SharedUnits& left, const SharedUnits& right) {
    switch (op) {
        case Operation::Product:
            return normalised(checked_mul(left, right));
        case Operation::Quotient:
            return normalised(checked_div(left, right));
        case Operation::Sum:
            return sum_plan(left, right);
        case Operation::Difference:
            if (std::optional<OperationPlan> interval = temperature_difference(left, right)) return *interval;
            return sum_plan(left, right);
        case Operation::Conversion: {
            const std::optional<MagnitudePlan> plan = conversion_plan(left, right);
            if (!plan) return fail(incompatible(left, right));
            OperationPlan result;
            result.units = right;
            result.result = *plan;
            return result;
        }
        case Operation::Comparison:
        case Operation::Extremum: {
            const std::optional<MagnitudePlan> plan = conversion_plan(right, left);
            if (!plan) {
                return fail(op == Operation::Comparison ? incompatible(right, left) : incompatible(left, right));
            }
            OperationPlan result;
            result.units = left;
            result.right = *plan;
            return result;
        }
        case Operation::Tolerance: {
            Result<MagnitudePlan> addend = addition_plan(left, right);
            if (!addend) return fail(std::move(addend.error()));
            OperationPlan result;
            result.units = left;
            result.right = *addend;
            return result;
        }
        case Operation::Normalise:
            return normalised(left);
        case Operation::Ratio: {
            Result<MagnitudePlan> ratio = dimensionless_plan(left);
            if (!ratio) return fail(std::move(ratio.error()));
            OperationPlan result;
            result.result = *ratio;
            return result;
        }
        case Operation::Power:
            break;
    }
    throw InternalError("an operation without a plan");
}

Result<const OperationPlan*> remembered(PlanEntry& entry, Result<OperationPlan>&& computed, Operation op,
                                        const SharedUnits& left, const SharedUnits& right,
                                        std::uint64_t power_bits) {
    if (!computed) return fail(std::move(computed.error()));
    entry.plan = std::move(*computed);
    entry.left = left;
    entry.right = right;
    entry.op = op;
    entry.power_bits = power_bits;
    entry.used = true;
    return &entry.plan;
}

}  // namespace

Result<const OperationPlan*> plan_operation(Operation op, const SharedUnits& left, const SharedUnits& right) {
    PlanEntry& entry = plan_table[plan_slot(left.identity(), right.identity(), op, 0)];
    if (entry.used && entry.op == op && entry.left.same_as(left) && entry.right.same_as(right)) {
        return &entry.plan;
    }
    return remembered(entry, compute(op, left, right), op, left, right, 0);
}

Result<MagnitudePlan> planned_magnitudes(Operation op, const SharedUnits& left, const SharedUnits& right) {
    Result<const OperationPlan*> plan = plan_operation(op, left, right);
    if (!plan) return fail(std::move(plan.error()));
    return (*plan)->result;
}

Result<const OperationPlan*> plan_power(const SharedUnits& base, double power) {
    const auto bits = std::bit_cast<std::uint64_t>(power);
    const SharedUnits none;
    PlanEntry& entry = plan_table[plan_slot(base.identity(), none.identity(), Operation::Power, bits)];
    if (entry.used && entry.op == Operation::Power && entry.left.same_as(base) && entry.power_bits == bits) {
        return &entry.plan;
    }
    return remembered(entry, normalised(power_units(base, power)), Operation::Power, base, none, bits);
}

Result<UnitCollection> raw_result_units(Operation op, const UnitCollection& left, const UnitCollection& right,
                                        double power) {
    switch (op) {
        case Operation::Product:
            return checked_mul(left, right);
        case Operation::Quotient:
            return checked_div(left, right);
        case Operation::Power:
            return power_units(left, power);
        default:
            break;
    }
    throw InternalError("raw units asked of an operation that keeps its operands' units");
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
