"""The ``tarvel`` command: convert physical quantities from a shell.

Kept apart from the extension module so that ``tarvel`` itself exports only its two classes. Imports stay
light (argparse and the extension), because the command is run once per conversion.
"""

import argparse
import math
import sys

__all__ = ["main"]

_EXAMPLES = """\
examples:
  tarvel "36 km/hr" m/s                    10 [m/s]
  tarvel "1 mi" ft                         5280 [ft]
  tarvel "37 Celsius" Fahrenheit           98.6 [°F]
  tarvel "3 ft.lbf" J                      4.06745384499 [J]
  tarvel "3 ft.lbf" J --exact              4.067453844994201 [J]
  tarvel "1 kWh" BTU --sig 4               3414 [BTU]
  tarvel "2.5 N.m" --latex                 quantity, simplified, base units
  tarvel --constant "speed of light" km/s  299792.458 [km/s]
  tarvel --log "3 dB" B                    0.3 [B]

The source is a quantity as Tarvel.parse reads it: an optional number in
Python's float syntax ("1e3", "-2.5", ".5", "1_000", "inf"), white space,
then a unit expression ("kg.m/s2", "degree Celsius"); the form tarvel prints
("9.81 [m/s2]", "[m/s2]", "5 []") reads back as it is. Without a number the
magnitude is 1; without a unit it is a plain number. A number that starts
with a digit or "." may touch its unit ("36km/hr"); put "--" before a source
such as "-2.5km". The target is a unit expression; "1" asks for a plain
number. Numbers show at most 12 significant digits; --exact shows the
shortest digits that read back to the same double. An error prints
"tarvel: " and its message, then any notes on what was probably meant,
to stderr, and exits with status 2."""

_LABEL_WIDTH = 12
# Digits a result shows unless asked otherwise: enough for any measurement, few enough that the
# rounding of the last binary digit (98.60000000000001) does not show.
_SHOWN_DIGITS = 12


def _int32(text):
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"invalid integer: {text!r}") from None
    if not -(2**31) <= value < 2**31:
        raise argparse.ArgumentTypeError(f"out of range: {text}")
    return value


def _positive_int32(text):
    value = _int32(text)
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be at least 1: {text}")
    return value


def _parser():
    parser = argparse.ArgumentParser(
        prog="tarvel",
        description="Convert a physical quantity to other units, or show it simplified and in base units.",
        epilog=_EXAMPLES,
        formatter_class=argparse.RawDescriptionHelpFormatter,
    )
    parser.add_argument("source", nargs="?", help='the quantity, e.g. "36 km/hr" (with --constant: the target)')
    parser.add_argument("target", nargs="?", help='the unit expression to convert to, e.g. "m/s"')
    form = parser.add_mutually_exclusive_group()
    form.add_argument("--latex", action="store_true", help="print LaTeX markup")
    form.add_argument("--descriptive", action="store_true", help="print unit names instead of symbols")
    rounding = parser.add_mutually_exclusive_group()
    rounding.add_argument("--sig", type=_positive_int32, metavar="N", help="round to N significant figures")
    rounding.add_argument("--digits", type=_int32, metavar="N",
                          help="round to N decimal places (negative: to tens, hundreds, ...)")
    rounding.add_argument("--exact", action="store_true",
                          help="show the shortest digits that read back exactly (default: at most 12 significant digits)")
    source = parser.add_mutually_exclusive_group()
    source.add_argument("--constant", metavar="NAME", help='use a physical constant as the source, e.g. "c"')
    source.add_argument("--log", action="store_true",
                        help='logarithmic ratio scales: bel, decibel, neper, semitone ("3 dB" to B)')
    return parser


def _check_usage(parser, args):
    if args.constant is not None:
        if args.target is not None:
            parser.error("--constant replaces the source: give at most the target")
        args.target = args.source
    elif args.source is None:
        parser.error("the source quantity is required")
    if args.log and (args.latex or args.descriptive):
        parser.error("--latex and --descriptive do not apply to --log")


def _round(quantity, args):
    if args.sig is not None:
        rounded = quantity.round_sfig(args.sig)
    elif args.digits is not None:
        rounded = round(quantity, args.digits)
    else:
        return quantity
    # Asking for more figures than a double can hold overflows the scaling power of ten; the value
    # already is as precise as that request, so it stays as it is.
    if math.isnan(float(rounded)) and not math.isnan(float(quantity)):
        return quantity
    return rounded


def _number_text(tarvel, number):
    # The library's own number format: shortest round trip, never exponent notation.
    return str(tarvel.Tarvel.empty() * number).removesuffix(" []")


def _shown(tarvel, text, args):
    """A text form with its leading number cut to _SHOWN_DIGITS significant digits, unless the digits
    were asked for (--exact, --sig, --digits)."""
    if args.exact or args.sig is not None or args.digits is not None:
        return text
    # The number is written without spaces; the LaTeX form joins it to its unit with "~".
    end = min((at for at in (text.find(" "), text.find("~")) if at >= 0), default=len(text))
    number = float(text[:end])
    return _number_text(tarvel, float(f"{number:.{_SHOWN_DIGITS}g}")) + text[end:]


def _text(tarvel, quantity, args):
    if args.latex:
        text = quantity.latex()
    elif args.descriptive:
        text = quantity.descriptive()
    else:
        text = str(quantity)
    return _shown(tarvel, text, args)


def _round_number(tarvel, number, args):
    return float(_round(tarvel.Tarvel.empty() * number, args))


def _lines(pairs):
    return [f"{label:<{_LABEL_WIDTH}}{text}" for label, text in pairs]


def _run_quantity(tarvel, args):
    Tarvel = tarvel.Tarvel
    quantity = Tarvel.constant(args.constant) if args.constant is not None else Tarvel.parse(args.source)

    if args.target is not None:
        target_text = args.target.strip()
        target = Tarvel.empty() if target_text in ("", "1") else Tarvel.parse_unit(args.target)
        return [_text(tarvel, _round(quantity.as_unit(target), args), args)]

    simplified = quantity.simplify()
    base = quantity.as_base_units()
    return _lines([
        ("quantity:", _text(tarvel, _round(quantity, args), args)),
        ("simplified:", _text(tarvel, _round(simplified, args), args)),
        ("base units:", _text(tarvel, _round(base, args), args)),
    ])


def _run_log(tarvel, args):
    LogTarvel = tarvel.LogTarvel
    quantity = LogTarvel.parse(args.source)
    # One unit of the quantity's scale, from its printed form "3 [dB]".
    scale = LogTarvel.parse(str(quantity).split(" ", 1)[1])

    if args.target is None:
        result = quantity
    else:
        scale = LogTarvel.unit(args.target.strip())
        result = quantity.as_unit(scale)
    if args.sig is not None or args.digits is not None:
        result = scale * _round_number(tarvel, result.as_number(), args)
    if args.target is not None:
        return [_shown(tarvel, str(result), args)]

    ratio = _round_number(tarvel, float(quantity), args)
    return _lines([
        ("quantity:", _shown(tarvel, str(result), args)),
        ("ratio:", _shown(tarvel, _number_text(tarvel, ratio), args)),
    ])


def _one_line(text):
    return text.replace("\r", "\\r").replace("\n", "\\n")


def main(argv=None):
    """Run the command with ``argv`` (default: the process arguments); return the exit status."""
    parser = _parser()
    args = parser.parse_args(argv)
    _check_usage(parser, args)

    import tarvel

    try:
        lines = _run_log(tarvel, args) if args.log else _run_quantity(tarvel, args)
    except (LookupError, TypeError, ValueError, ArithmeticError) as err:
        print(f"tarvel: {_one_line(str(err))}", file=sys.stderr)
        for note in getattr(err, "__notes__", ()):
            print(f"  {_one_line(str(note))}", file=sys.stderr)
        return 2
    print("\n".join(lines))
    return 0
