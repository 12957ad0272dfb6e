"""A block of photographs oriented on a Dask cluster.

The client (this process) reads the inputs, opens the database and cuts the pairs still to do
into chunks grouped by photograph; each chunk is one Dask task that orients its pairs on a
worker (orient_chunk below) and returns one record per pair. The client alone writes the
database, one transaction per pair, as the chunks finish: a worker lost mid-run costs only
its chunk, which Dask runs again elsewhere, and a rerun of the command goes on where the last
one stopped.

Workers read the key files from the paths the client was given (a file system shared by every
machine, at the same paths), or, with --ship-keys, receive their contents from the client:
each file is scattered once, to one worker, and fetched from there by the workers whose chunks
need it, not sent again with every chunk.
"""

import os
import signal
import sys
import time

from relative_orientation import _core

PROGRAM = "python3 -m relative_orientation block"

# Exit statuses, as orient-block's (2, wrong usage, comes from parse_block_command).
COMPLETED = 0
INPUT_ERROR = 1
INTERRUPTED = 130

# Chunks submitted ahead of the results per worker thread: keeps every worker busy while the
# client holds only a window of chunks (and, with --ship-keys, of key files) at a time.
WINDOW_PER_THREAD = 4

# Times a chunk is submitted again after the key files it was given were lost with a worker
# (--ship-keys); Dask itself reruns a chunk whose worker was lost while running it.
MAX_RESUBMITS = 3

# Seconds to wait for a scheduler given with --scheduler.
SCHEDULER_TIMEOUT_S = 30


def orient_chunk(task, keys=None):
    """Worker side: orients every pair of one chunk; one record per pair for the client.

    `keys` maps a photograph's index to its key file's contents when the client ships them;
    without it the worker reads the key files from their paths.
    """
    return _core.orient_chunk(task, keys)


def _message(text):
    sys.stderr.write(f"{PROGRAM}: {text}\n")
    sys.stderr.flush()


class _Shipper:
    """With --ship-keys: each key file scattered once while a chunk needing it is pending.

    A file is read and scattered when the first chunk that needs it is submitted and released
    when the last such chunk is done. The client keeps no copy: the bytes live on the worker
    they were scattered to, and other workers fetch them from there (keeping a copy while
    they have queued chunks that use it).
    """

    def __init__(self, client, key_files, chunks):
        self.client = client
        self.key_files = key_files
        self.uses = {}
        for chunk in chunks:
            for photograph in chunk.photographs:
                self.uses[photograph] = self.uses.get(photograph, 0) + 1
        self.futures = {}

    def keys_for(self, chunk):
        keys = {}
        for photograph in chunk.photographs:
            future = self.futures.get(photograph)
            # Scattered data has no recipe: when the only worker holding a file is lost, its
            # future is cancelled and the file is scattered again.
            if future is None or future.status != "finished":
                path = self.key_files[photograph]
                try:
                    with open(path, "rb") as file:
                        contents = file.read()
                except OSError as error:
                    raise _core.InputError(f"{path}: cannot read: {error.strerror}") from None
                future = self.client.scatter(contents, hash=False)
                self.futures[photograph] = future
            keys[photograph] = future
        return keys

    def done(self, chunk):
        for photograph in chunk.photographs:
            self.uses[photograph] -= 1
            if self.uses[photograph] == 0:
                self.futures.pop(photograph, None)


class _Run:
    """The chunks of one run: submitted in a window, written as they finish."""

    def __init__(self, client, block, chunks, ship_keys, threads):
        from distributed import as_completed

        self.client = client
        self.block = block
        self.chunks = chunks
        self.shipper = _Shipper(client, block.key_files, chunks) if ship_keys else None
        self.window = max(2, threads * WINDOW_PER_THREAD)
        self.next_chunk = 0
        self.pending = {}  # future -> chunk index
        self.written = set()  # chunk indices whose records are in the database
        self.resubmits = {}  # chunk index -> times submitted again
        self.completed = as_completed()

    def _submit(self, index):
        chunk = self.chunks[index]
        keys = self.shipper.keys_for(chunk) if self.shipper else None
        # pure=False: a unique task name, never shared with another client's chunk.
        future = self.client.submit(orient_chunk, chunk.task, keys, pure=False)
        self.pending[future] = index
        self.completed.add(future)

    def _submit_more(self):
        while self.next_chunk < len(self.chunks) and len(self.pending) < self.window:
            self._submit(self.next_chunk)
            self.next_chunk += 1

    def _resubmit(self, future):
        """A chunk cancelled because its shipped key files were lost: submitted again."""
        index = self.pending[future]
        tries = self.resubmits.get(index, 0)
        if not self.shipper or tries >= MAX_RESUBMITS:
            return False
        self.resubmits[index] = tries + 1
        del self.pending[future]
        self._submit(index)
        return True

    def _write(self, future, records):
        index = self.pending.pop(future)
        if index not in self.written:
            for record in records:
                self.block.write(record)
            self.written.add(index)
        if self.shipper:
            self.shipper.done(self.chunks[index])
        future.release()

    def run(self):
        """Runs every chunk; raises the first error of a chunk or of the database."""
        from distributed.client import CancelledError

        self._submit_more()
        for future in self.completed:
            if future.status == "error":
                error = future.exception()
                raise error if isinstance(error, Exception) else RuntimeError(str(error))
            records = None
            if future.status == "finished":
                try:
                    records = future.result()
                except CancelledError:
                    # The result was lost with its worker before it arrived, and the rerun
                    # was cancelled because the key files shipped to that worker went too.
                    pass
            if records is None:
                if self._resubmit(future):
                    continue
                raise RuntimeError(f"the cluster dropped a chunk of pairs ({future.status}): "
                                   "is the scheduler still running?")
            self._write(future, records)
            self._submit_more()

    def stop(self):
        """Cancels the chunks not started; writes those that finished in the meantime."""
        finished = [f for f in self.pending if f.status == "finished"]
        unfinished = [f for f in self.pending if f.status != "finished"]
        if unfinished:
            self.client.cancel(unfinished)
        for future in finished:
            try:
                records = future.result(timeout=SCHEDULER_TIMEOUT_S)
            except Exception:  # noqa: BLE001: lost on the way; the next run does it again
                continue
            self._write(future, records)


def _start_cluster(command):
    """The Dask client: on the scheduler given, or on a local cluster of worker processes."""
    from distributed import Client, LocalCluster

    if command.scheduler:
        return Client(command.scheduler, timeout=SCHEDULER_TIMEOUT_S), None
    # The local worker processes are started with SIGINT ignored, which they keep: Ctrl-C
    # reaches the client alone, which stops the run in order (cancels the queued chunks,
    # writes what arrived, closes the cluster). A Ctrl-C during these seconds is lost.
    previous = signal.signal(signal.SIGINT, signal.SIG_IGN)
    try:
        cluster = LocalCluster(
            n_workers=command.workers or os.cpu_count() or 1,
            threads_per_worker=1,
            processes=True,
            dashboard_address=None,
        )
    finally:
        signal.signal(signal.SIGINT, previous)
    try:
        return Client(cluster), cluster
    except BaseException:
        cluster.close()
        raise


def _worker_threads(client):
    threads = sum(client.nthreads().values())
    return max(1, threads)


def _finish(block, command, started, interrupted):
    summary = block.finish(time.monotonic() - started, interrupted)
    if not command.quiet and summary:
        sys.stdout.write(summary)
        sys.stdout.flush()


def _terminate(signum, frame):
    raise KeyboardInterrupt


def run(argv):
    """The whole block run for the arguments after `block`; returns the exit status."""
    command = _core.parse_block_command(list(argv))
    if not command.run:
        if command.err:
            sys.stderr.write(command.err)
        if command.out:
            sys.stdout.write(command.out)
        return command.status
    try:
        block = _core.BlockClient(command)
    except RuntimeError as error:  # InputError, StoreError
        _message(str(error))
        return INPUT_ERROR

    if block.todo == 0:
        _finish(block, command, time.monotonic(), False)
        return COMPLETED

    # SIGTERM stops the run as Ctrl-C does, as it stops orient-block.
    signal.signal(signal.SIGTERM, _terminate)
    client = cluster = None
    started = time.monotonic()
    status = COMPLETED
    interrupted = False
    runner = None
    try:
        try:
            client, cluster = _start_cluster(command)
        except (OSError, TimeoutError) as error:
            where = f"reach the scheduler {command.scheduler}" if command.scheduler else (
                "start a local cluster")
            _message(f"cannot {where}: {error}")
            return INPUT_ERROR
        threads = _worker_threads(client)
        per_chunk = command.chunk_pairs or _core.block_chunk_pairs(block.todo, threads)
        chunks = block.chunks(per_chunk)
        runner = _Run(client, block, chunks, command.ship_keys, threads)
        block.start_progress()
        started = time.monotonic()
        runner.run()
    except KeyboardInterrupt:
        interrupted = True
        # A second Ctrl-C ends the process at once; every written pair is committed.
        signal.signal(signal.SIGINT, lambda *_: os._exit(INTERRUPTED))
        signal.signal(signal.SIGTERM, lambda *_: os._exit(INTERRUPTED))
        if runner:
            runner.stop()
        status = INTERRUPTED
    except Exception as error:  # noqa: BLE001: a chunk's or the database's error, reported
        if runner:
            try:
                runner.stop()
            except Exception:  # noqa: BLE001: the first error is the one reported
                pass
        _finish(block, command, started, False)
        _message(str(error) or type(error).__name__)
        return INPUT_ERROR
    finally:
        if client is not None:
            client.close()
        if cluster is not None:
            cluster.close()
    _finish(block, command, started, interrupted)
    if interrupted:
        _message("interrupted: run the same command again to go on")
    return status


def main(argv=None):
    """Entry point for `python3 -m relative_orientation block ARGS`."""
    return run(sys.argv[2:] if argv is None else argv)
