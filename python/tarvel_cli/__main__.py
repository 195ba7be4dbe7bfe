"""``python -m tarvel_cli``: the same as the ``tarvel`` command."""

from tarvel_cli import main

raise SystemExit(main())
