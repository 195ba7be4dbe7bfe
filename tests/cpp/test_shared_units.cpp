// Shared collections and the memos of the operations: sharing must never change an answer.

#include <doctest/doctest.h>

#include <string>
#include <thread>
#include <vector>

#include "quantity/operation_plan.hpp"
#include "quantity/quantity.hpp"

namespace {

using namespace tarvel;

SharedUnits parsed(const char* text) {
    std::optional<SharedUnits> units = shared_units_from_text(text);
    REQUIRE(units);
    return *units;
}

// The operation computed without any memo: the collection algebra and the quick simplification.
std::string fresh(const SharedUnits& a, const SharedUnits& b, Operation op) {
    Result<Quantity> q = op == Operation::Product ? normalise(Quantity{mul(a, b), 3.0})
                         : op == Operation::Quotient ? normalise(Quantity{div(a, b), 3.0})
                                                       : normalise(Quantity{a, 3.0});
    if (!q) return "error: " + q.error().message();
    return as_string(q->units) + " " + std::to_string(q->value);
}

std::string memoised(const SharedUnits& a, const SharedUnits& b, Operation op) {
    Result<const OperationPlan*> plan = plan_operation(op, a, b);
    if (!plan) return "error: " + plan.error().message();
    return as_string((*plan)->units) + " " + std::to_string((*plan)->result.apply(3.0));
}

}  // namespace

TEST_CASE("a handle counts its holders and frees its collection with the last one") {
    SharedUnits a = *UnitCollection::from_unit_name("m");
    CHECK(a.is_sole_owner());
    CHECK(a.owned_bytes() > 0);
    SharedUnits b = a;
    CHECK(b.same_as(a));
    CHECK_FALSE(a.is_sole_owner());
    CHECK(a.owned_bytes() == 0);
    SharedUnits c = std::move(b);
    CHECK(c.same_as(a));
    CHECK(b.same_as(SharedUnits()));  // a moved-from handle holds the empty collection
    c = SharedUnits();
    CHECK(a.is_sole_owner());
    CHECK_FALSE(SharedUnits().is_sole_owner());
    CHECK(SharedUnits()->unit_map.empty());
}

TEST_CASE("the memo answers every pair as the operation computed afresh, whatever the order") {
    const std::vector<SharedUnits> units = {parsed("m"),     parsed("km"),   parsed("hr"),     parsed("km/hr"),
                                            parsed("m/s"),   parsed("kg.m/s2"), parsed("N"),   parsed("ft"),
                                            parsed("m.ft"),  parsed("celsius"), parsed("1/s"),    parsed("J/kg"),
                                            SharedUnits(),   parsed("g"),    parsed("mol/L"),  parsed("W.s")};
    for (int pass = 0; pass < 2; ++pass) {  // the second pass finds most pairs in the memo
        for (std::size_t i = 0; i < units.size(); ++i) {
            for (std::size_t j = 0; j < units.size(); ++j) {
                const SharedUnits& a = units[pass ? units.size() - 1 - i : i];
                const SharedUnits& b = units[j];
                for (Operation op : {Operation::Product, Operation::Quotient}) {
                    CHECK(memoised(a, b, op) == fresh(a, b, op));
                }
                if (dimensions_equal(a->dimensions, b->dimensions)) {
                    CHECK(memoised(a, b, Operation::Sum) == fresh(a, b, Operation::Sum));
                } else {
                    CHECK_FALSE(plan_operation(Operation::Sum, a, b));
                }
            }
        }
    }
}

TEST_CASE("equal texts share one collection; each thread keeps its own memo") {
    CHECK(parsed("kg.m/s2").same_as(parsed("kg.m/s2")));
    CHECK_FALSE(shared_units_from_text("m.zz/s"));
    const std::string long_text(200, 'm');
    CHECK_FALSE(shared_units_from_text(long_text));
    std::vector<std::thread> threads;
    std::vector<std::string> answers(4);
    const SharedUnits km = parsed("km");
    const SharedUnits hr = parsed("hr");
    for (std::size_t t = 0; t < answers.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 1000; ++i) {
                SharedUnits copy = km;  // counts change on every thread at once
                answers[t] = memoised(copy, hr, Operation::Quotient);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (const std::string& answer : answers) CHECK(answer == "[km/hr] 3.000000");
    CHECK(km.is_sole_owner() == false);  // the main thread's text memo holds it too
}
