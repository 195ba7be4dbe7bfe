# Checked by mypy with the plugin tarvel.mypy. A comment "E: text" expects an error containing the text
# on its line, "N: text" a note (reveal_type); every other line must check cleanly.
from typing import Annotated, Literal

import tarvel
from tarvel import Tarvel

distance: Tarvel["km"] = Tarvel.unit("km") * 3
duration: Tarvel["hr"] = Tarvel.unit("hr")
reveal_type(distance / duration)  # N: Revealed type is "tarvel.Tarvel[Literal['m/s']]"
reveal_type(distance * distance)  # N: Revealed type is "tarvel.Tarvel[Literal['m2']]"
reveal_type(distance**2 / 4.0)  # N: Revealed type is "tarvel.Tarvel[Literal['m2']]"
reveal_type(Tarvel.unit("kg.m2/s2"))  # N: Revealed type is "tarvel.Tarvel[Literal['kg.m2/s2']]"
reveal_type(-distance + Tarvel.unit("mi"))  # N: Revealed type is "tarvel.Tarvel[Literal['m']]"
reveal_type(distance.as_unit("ft"))  # N: Revealed type is "tarvel.Tarvel[Literal['m']]"
reveal_type(distance / distance)  # N: Revealed type is "tarvel.Tarvel[Literal['1']]"
reveal_type(distance.to_compact())  # N: Revealed type is "tarvel.Tarvel[Literal['m']]"
speed: Tarvel[Literal["m/s"]] = distance / duration

distance + duration  # E: [m] and [s] are not compatible  [units]
distance < duration  # E: [s] and [m] are not compatible  [units]
distance.as_unit("s")  # E: [m] and [s] are not compatible  [units]
wrong: Tarvel["s"] = distance  # E: Incompatible types in assignment (expression has type "Tarvel[Literal['m']]", variable has type "Tarvel[Literal['s']]")
missing: Tarvel["mtr"]  # E: Unit mtr not found  [units]
Tarvel.unit("zorp")  # E: Unit zorp not found  [units]


def run(metres: Tarvel["m"], anything: Tarvel, text: str, power: int) -> None:
    run(distance, distance, "", 1)
    run(anything, metres, "", 1)
    run(Tarvel.unit(text), Tarvel.unit(text) + metres, "", 1)
    reveal_type(metres**power)  # N: Revealed type is "tarvel.Tarvel[Any]"
    reveal_type(anything + metres)  # N: Revealed type is "tarvel.Tarvel[Any]"
    run(duration, metres, "", 1)  # E: Argument 1 to "run" has incompatible type "Tarvel[Literal['s']]"; expected "Tarvel[Literal['m']]"


def unmarked(x: Annotated[Tarvel, tarvel.Unit("m/s")]) -> None:
    reveal_type(x)  # N: Revealed type is "tarvel.Tarvel[Any]"
