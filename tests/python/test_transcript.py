"""The seeded transcript of 10^5 scalar operations gives what was recorded, block by block."""

from transcript import BLOCK, block_hashes, recorded, transcript_lines


def test_transcript_is_unchanged():
    record = recorded()
    lines, _ = transcript_lines(record["operations"], record["seed"], set(record["budget_lines"]))
    changed = [i for i, (got, want) in enumerate(zip(block_hashes(lines), record["blocks"])) if got != want]
    assert not changed, (
        f"blocks {changed} differ (each {BLOCK} lines); the first one:\n"
        + "\n".join(lines[changed[0] * BLOCK : (changed[0] + 1) * BLOCK])
    )
