"""python3 -m relative_orientation block ...: a block of photographs on a Dask cluster."""

import sys

USAGE = """usage: python3 -m relative_orientation block [OPTIONS] KEY...
Orients the pairs of a block of photographs on a Dask cluster into orient-block's database:
a local cluster of one worker process per core, or the one given with --scheduler.

Commands:
  block          the block's pairs into the database ('block --help' lists its options)
Options:
  -h, --help     print this help
  --version      print the version
"""

PROGRAM = "python3 -m relative_orientation"


def _version():
    from relative_orientation import _core

    # The block command's version line ends with the version of the engine.
    line = _core.parse_block_command(["--version"]).out.split()
    return line[-1] if line else "unknown"


def main(argv):
    if not argv:
        sys.stderr.write(f"{PROGRAM}: a command is required\n{USAGE}")
        return 2
    command, arguments = argv[0], argv[1:]
    if command in ("-h", "--help"):
        sys.stdout.write(USAGE)
        return 0
    if command == "--version":
        sys.stdout.write(f"relative_orientation {_version()}\n")
        return 0
    if command == "block":
        from relative_orientation import block

        return block.main(arguments)
    sys.stderr.write(f"{PROGRAM}: unknown command '{command}'\n{USAGE}")
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
