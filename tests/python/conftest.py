import os

from hypothesis import settings

# Property tests draw the same inputs in every run, so a submission cannot fail on an input that no earlier
# run could have met. TARVEL_HYPOTHESIS_RANDOM=1 explores fresh inputs (for a longer campaign).
settings.register_profile("deterministic", derandomize=True)
if not os.environ.get("TARVEL_HYPOTHESIS_RANDOM"):
    settings.load_profile("deterministic")
