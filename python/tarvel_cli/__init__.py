"""The ``tarvel`` command: convert physical quantities from a shell.

Kept apart from the extension module so that ``tarvel`` itself exports only its two classes. Imports stay
light (argparse and the extension), because the command is run once per conversion.
"""

import argparse
import math
import re
import sys

__all__ = ["main", "split_source"]

_EXAMPLES = """\
examples:
  tarvel "36 km/hr" m/s                    10 [m/s]
  tarvel "1 mi" ft                         5280 [ft]
  tarvel "100 degree Celsius" "degree Fahrenheit"
  tarvel "3 ft.lbf" J
  tarvel "1 kWh" BTU --sig 4               3414 [BTU]
  tarvel "2.5 N.m" --latex                 quantity, simplified, base units
  tarvel --constant "speed of light" km/s  299792.458 [km/s]
  tarvel --log "3 dB" B                    0.30000000000000004 [B]

The source is an optional number in Python's float syntax ("1e3", "-2.5",
".5", "1_000", "inf"), then a unit expression ("kg.m/s2", "degree Celsius").
Without a number the magnitude is 1; without a unit it is a plain number.
Write a space after the number, or let the number start with a digit or "."
("36km/hr"); put "--" before a source such as "-2.5km". A target of "1" asks
for a plain number. Errors print one line to stderr and exit with status 2."""

# A decimal numeral written directly in front of its unit ("36km/hr", "1e3m"). Only digit-led forms are
# taken here: "inf" and "nan" must stand alone, or "nanometer" would lose its first three letters.
_GLUED_NUMBER = re.compile(
    r"[+-]?(?:\d(?:_?\d)*(?:\.(?:\d(?:_?\d)*)?)?|\.\d(?:_?\d)*)(?:[eE][+-]?\d(?:_?\d)*)?"
)

_LABEL_WIDTH = 12


def split_source(text):
    """Split a source such as "36 km/hr" into (36.0, "km/hr").

    The number is None when the text does not start with one; the unit text is "" when nothing follows
    the number.
    """
    text = text.strip()
    parts = text.split(None, 1)
    if parts:
        try:
            number = float(parts[0])
        except ValueError:
            pass
        else:
            return number, parts[1] if len(parts) > 1 else ""
    match = _GLUED_NUMBER.match(text)
    if match:
        return float(match.group()), text[match.end():].strip()
    return None, text


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


def _text(quantity, args):
    if args.latex:
        return quantity.latex()
    if args.descriptive:
        return quantity.descriptive()
    return str(quantity)


def _number_text(tarvel, number):
    # The library's own number format: shortest round trip, never exponent notation.
    return str(tarvel.Tarvel.empty() * number).removesuffix(" []")


def _round_number(tarvel, number, args):
    return float(_round(tarvel.Tarvel.empty() * number, args))


def _lines(pairs):
    return [f"{label:<{_LABEL_WIDTH}}{text}" for label, text in pairs]


def _run_quantity(tarvel, args):
    Tarvel = tarvel.Tarvel
    if args.constant is not None:
        quantity = Tarvel.constant(args.constant)
    else:
        number, unit_text = split_source(args.source)
        if number is None:
            quantity = Tarvel.unit(unit_text)
        elif unit_text:
            quantity = Tarvel.unit(unit_text) * number
        else:
            quantity = Tarvel.empty() * number

    if args.target is not None:
        target_text = args.target.strip()
        target = Tarvel.empty() if target_text in ("", "1") else Tarvel.unit(args.target)
        return [_text(_round(quantity.as_unit(target), args), args)]

    simplified = quantity.simplify()
    base = quantity.as_base_units()
    return _lines([
        ("quantity:", _text(_round(quantity, args), args)),
        ("simplified:", _text(_round(simplified, args), args)),
        ("base units:", _text(_round(base, args), args)),
    ])


def _run_log(tarvel, args):
    LogTarvel = tarvel.LogTarvel
    number, scale = split_source(args.source)
    quantity = LogTarvel.unit(scale)
    if number is not None:
        quantity = quantity * number

    if args.target is None:
        target_scale = scale
        result = quantity
    else:
        target_scale = args.target.strip()
        result = quantity.as_unit(LogTarvel.unit(target_scale))
    if args.sig is not None or args.digits is not None:
        result = LogTarvel.unit(target_scale) * _round_number(tarvel, result.as_number(), args)
    if args.target is not None:
        return [str(result)]

    ratio = _round_number(tarvel, float(quantity), args)
    return _lines([("quantity:", str(result)), ("ratio:", _number_text(tarvel, ratio))])


def main(argv=None):
    """Run the command with ``argv`` (default: the process arguments); return the exit status."""
    parser = _parser()
    args = parser.parse_args(argv)
    _check_usage(parser, args)

    import tarvel

    try:
        lines = _run_log(tarvel, args) if args.log else _run_quantity(tarvel, args)
    except (LookupError, TypeError, ValueError, ArithmeticError) as err:
        message = str(err).replace("\r", "\\r").replace("\n", "\\n")
        print(f"tarvel: {message}", file=sys.stderr)
        return 2
    print("\n".join(lines))
    return 0
