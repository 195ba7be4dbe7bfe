"""Survey of everyday unit spellings, and the speed of the common-notation reader.

    PYTHONPATH=build/dev python3 benchmarks/unit_text_survey.py

The survey reads every spelling of the list below with Tarvel.parse_unit and compares the result with what
the spelling means (written in the library's own grammar; None where the sound answer is a refusal). A
misread is a spelling read as other units, or a refusal read as units: the target is none. The report
gives how many spellings are read and, for each refused one, the reason the reader gives.

The timing times Tarvel.unit and Tarvel.parse_unit on the same texts of the library's own grammar in one run,
interleaved, and prints the ratio (target: the reader at most 2x). With `--baseline DIR` it also times
Tarvel.unit("kg.m/s2") of this build against the build in DIR (an earlier tarvel), in alternating
processes, and prints that ratio (target: no slower).
"""

from __future__ import annotations

import statistics
import sys
import timeit

from tarvel import Tarvel

# (spelling, meaning in the library's grammar or None for a sound refusal)
SPELLINGS: list[tuple[str, str | None]] = [
    # Library grammar and plain symbols.
    ("m", "m"), ("km", "km"), ("cm", "cm"), ("mm", "mm"), ("um", "um"), ("nm", "nm"), ("kg", "kg"),
    ("g", "g"), ("mg", "mg"), ("s", "s"), ("ms", "ms"), ("us", "us"), ("ns", "ns"), ("min", "min"),
    ("hr", "hr"), ("d", "d"), ("K", "K"), ("A", "A"), ("mA", "mA"), ("mol", "mol"), ("cd", "cd"),
    ("N", "N"), ("kN", "kN"), ("Pa", "Pa"), ("kPa", "kPa"), ("MPa", "MPa"), ("hPa", "hPa"), ("bar", "bar"),
    ("mbar", "mbar"), ("atm", "atm"), ("psi", "psi"), ("J", "J"), ("kJ", "kJ"), ("W", "W"), ("kW", "kW"),
    ("MW", "MW"), ("kWh", "kWh"), ("Wh", "Wh"), ("V", "V"), ("mV", "mV"), ("ohm", "ohm"), ("Ω", "Ω"),
    ("kΩ", "kΩ"), ("F", "F"), ("uF", "uF"), ("C", "C"), ("T", "T"), ("H", "H"), ("Hz", "Hz"),
    ("kHz", "kHz"), ("MHz", "MHz"), ("GHz", "GHz"), ("mHz", "mHz"), ("L", "L"), ("mL", "mL"),
    ("eV", "eV"), ("keV", "keV"), ("MeV", "MeV"), ("cal", "cal"), ("kcal", "kcal"), ("ft", "ft"),
    ("in", "in"), ("mi", "mi"), ("yd", "yd"), ("lb", "lb"), ("oz", "oz"), ("gal", "gal"), ("°C", "°C"),
    ("°F", "°F"), ("rad", "rad"), ("sr", "sr"), ("deg", "deg"), ("Gy", "Gy"), ("Sv", "Sv"), ("Bq", "Bq"),
    ("lm", "lm"), ("lx", "lx"), ("kg.m/s2", "kg.m/s2"), ("m/s", "m/s"), ("km/hr", "km/hr"),
    ("W/m2.K", "W/m2.K"), ("J/kg.K", "J/kg.K"), ("N.m", "N.m"), ("mol/L", "mol/L"), ("g/cm3", "g/cm3"),
    ("AU", "AU"), ("ly", "ly"), ("pc", "pc"), ("kpc", "kpc"), ("Mpc", "Mpc"), ("fl oz", "fl oz"),
    ("mmHg", "mmHg"),
    # Operators and exponents of other notations.
    ("m/s^2", "m/s2"), ("m/s**2", "m/s2"), ("kg*m/s^2", "kg.m/s2"), ("kg*m/s2", "kg.m/s2"),
    ("kg·m/s²", "kg.m/s2"), ("kg⋅m²", "kg.m2"), ("N m", "N.m"), ("N*m", "N.m"), ("J/(kg.K)", "J/kg.K"),
    ("J/(kg K)", "J/kg.K"), ("J/kg/K", "J/kg.K"), ("W/(m^2 K)", "W/m2.K"), ("m/s/s", "m/s2"),
    ("s^-1", "1/s"), ("s-1", "1/s"), ("s⁻¹", "1/s"), ("m²", "m2"), ("m³", "m3"), ("cm^3", "cm3"),
    ("m**3", "m3"), ("1/s", "1/s"), ("m^(1/2)", "m|0.5"), ("Hz^0.5", "Hz|0.5"), ("kg m s-2", "kg.m/s2"),
    ("(kg m)/s2", "kg.m/s2"), ("m per s", "m/s"), ("meters per second", "m/s"),
    ("kilometers per hour", "km/hr"), ("meters per second squared", "m/s2"),
    # Micro signs and the hour.
    ("µm", "um"), ("μm", "um"), ("µs", "us"), ("μg", "ug"), ("µL", "uL"), ("µl", "uL"), ("h", "hr"),
    ("km/h", "km/hr"), ("m/h", "m/hr"), ("kW h", "kW.hr"), ("A h", "A.hr"), ("mAh", "mAh"),
    # Names and plurals.
    ("meter", "m"), ("metre", "m"), ("meters", "m"), ("metres", "m"), ("kilometers", "km"),
    ("millimeters", "mm"), ("seconds", "s"), ("minutes", "min"), ("hours", "hr"), ("days", "d"),
    ("weeks", "wk"), ("years", "y"), ("feet", "ft"), ("inches", "in"), ("miles", "mi"), ("pounds", "lb"),
    ("grams", "g"), ("kilograms", "kg"), ("liters", "L"), ("litres", "L"), ("litre", "L"),
    ("newtons", "N"), ("joules", "J"), ("watts", "W"), ("volts", "V"), ("amperes", "A"),
    ("degrees", "deg"), ("centuries", "century"), ("nautical miles", "nmi"), ("square meters", "m2"),
    ("cubic feet", "ft3"), ("sq ft", "ft2"), ("degrees Celsius", "°C"), ("degree Celsius", "°C"),
    ("Celsius", "°C"), ("hrs", "hr"), ("mins", "min"), ("sec", "s"), ("secs", "s"), ("lbs", "lb"),
    ("mph", "mi/hr"), ("kph", "km/hr"),
    # Catalogue additions.
    ("yr", "y"), ("au", "AU"), ("%", "%"), ("ppm", "ppm"), ("ppb", "ppb"), ("arcmin", "'"),
    ("arcminute", "'"), ("arcsec", "''"), ("arcsecond", "''"), ("mas", "m''"), ("l", "L"), ("ml", "mL"),
    ("dl", "dL"), ("cl", "cL"), ("rpm", "rpm"), ("Jy", "Jy"), ("mJy", "mJy"), ("Da", "amu"), ("kDa", None),
    # CF conventions / UDUNITS.
    ("m s-1", "m/s"), ("kg m-2 s-1", "kg/m2.s"), ("W m-2", "W/m2"), ("degrees_north", "deg"),
    ("degrees_east", "deg"), ("degree_Celsius", "°C"), ("degC", "°C"), ("mm day-1", "mm/d"),
    ("1", ""), ("kg kg-1", ""), ("psu", ""), ("mol m-3", "mol/m3"), ("m2 s-1", "m2/s"), ("K s-1", "K/s"),
    ("Pa s-1", "Pa/s"), ("days since 2000-01-01", None),
    # Traps: sound answers.
    ("3m 20cm", None), ("ppt", None), ("kt", None), ("mb", None), ("a", None), ("Gyr", None),
    ("J/kg*K", None), ("kyr", None), ("Myr", None), ("KM", None), ("Meter", None),
]


def meaning(text: str) -> Tarvel:
    """The units a meaning names: "" is a pure number, "m|0.5" a power the grammar cannot write."""
    if "|" in text:
        unit, power = text.split("|")
        return Tarvel.unit(unit) ** float(power)
    return Tarvel.empty() if text == "" else Tarvel.unit(text)


def survey() -> int:
    read, refused, misread = 0, [], []
    for text, expected in SPELLINGS:
        try:
            got = Tarvel.parse_unit(text)
        except LookupError as error:
            message = str(error)
            reason = message.split(": ", 1)[1] if ": " in message else "; ".join(getattr(error, "__notes__", [])) or "not a unit"
            refused.append((text, reason))
            if expected is not None:
                misread.append((text, "refused", expected))
            continue
        read += 1
        if expected is None:
            misread.append((text, str(got), "a refusal"))
            continue
        sound = meaning(expected)
        if not (got == sound and got.dimensions() == sound.dimensions()):
            misread.append((text, str(got), expected))
    print(f"{len(SPELLINGS)} spellings: {read} read, {len(refused)} refused, {len(misread)} misread or missed")
    for text, got, want in misread:
        print(f"  MISREAD {text!r}: {got}, meant {want}")
    print("refused, with the reader's reason:")
    for text, reason in refused:
        print(f"  {text!r}: {reason}")
    return len(misread)


def timing() -> None:
    texts = ["kg.m/s2", "km", "W/m2.K4", "N.m", "km/hr"]
    rounds = 7
    samples: dict[tuple[str, str], list[float]] = {}
    for _ in range(rounds):
        for text in texts:
            for name, function in (("Tarvel.unit", Tarvel.unit), ("Tarvel.parse_unit", Tarvel.parse_unit)):
                timer = timeit.Timer(lambda f=function, t=text: f(t))
                number, _ = timer.autorange()
                samples.setdefault((name, text), []).append(timer.timeit(number) / number * 1e9)
    print(f"\n{'text':<12}{'Tarvel.unit ns':>16}{'parse_unit ns':>16}{'ratio':>8}")
    for text in texts:
        unit = statistics.median(samples[("Tarvel.unit", text)])
        reader = statistics.median(samples[("Tarvel.parse_unit", text)])
        print(f"{text:<12}{unit:>16.0f}{reader:>16.0f}{reader / unit:>8.2f}")


_ONE_PROCESS = (
    "import timeit, tarvel; t = timeit.Timer(lambda: tarvel.Tarvel.unit('kg.m/s2')); n, _ = t.autorange(); "
    "print(min(t.repeat(5, n)) / n * 1e9)"
)


def against_baseline(baseline: str, rounds: int = 7) -> None:
    import os
    import subprocess

    here = os.pathsep.join(p for p in sys.path if p)
    runs: dict[str, list[float]] = {"this build": [], "baseline": []}
    for _ in range(rounds):
        for name, path in (("this build", here), ("baseline", baseline)):
            out = subprocess.run([sys.executable, "-c", _ONE_PROCESS], capture_output=True, text=True,
                                 env={**os.environ, "PYTHONPATH": path}, check=True)
            runs[name].append(float(out.stdout))
    this, base = statistics.median(runs["this build"]), statistics.median(runs["baseline"])
    print(f"\nTarvel.unit('kg.m/s2'): this build {this:.0f} ns, baseline {base:.0f} ns, ratio {this / base:.2f}")


if __name__ == "__main__":
    misreads = survey()
    if "--survey" not in sys.argv:
        timing()
    if "--baseline" in sys.argv:
        against_baseline(sys.argv[sys.argv.index("--baseline") + 1])
    sys.exit(1 if misreads else 0)
