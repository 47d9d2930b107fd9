#!/usr/bin/env python3
"""The panel of vqhw-sim driven in a headless Chromium, against lane processes.

Each step clicks on the page and checks what a lane program (the vqhw tool,
the torn purchase lane) then finds at the reader, and what the page shows
of it; each step leaves a screenshot. Exit 0 when every step passed, 1 at
the first that failed, 77 when Selenium, Chromium or its driver is missing.

    browser_test.py --sim build/release/sim/vqhw-sim --vqhw build/release/tools/vqhw \
        --lane build/release/tests/tools/vqhw_torn_purchase_lane [--screenshots DIR]
"""

import argparse
import json
import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time
import traceback
import urllib.request

SKIP = 77
CHROMIUM = os.environ.get('VQHW_CHROMIUM', '/usr/bin/chromium')
CHROMEDRIVER = os.environ.get('VQHW_CHROMEDRIVER', '/usr/bin/chromedriver')

try:
    from selenium import webdriver
    from selenium.common.exceptions import StaleElementReferenceException, TimeoutException
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import Select, WebDriverWait
except ImportError:
    webdriver = None

PORT = 9  # the lane's port: VQHW_COM9 names the reader
LANE_CARD = '3A5F0C21'  # lane.json's MIFARE ONE card, among the examples
PURSE = {'kind': 'cpu', 'serial': '5A112233', 'balance': 10000}  # the torn purchase lane's card
TOLL = 1112
NO_CARD = 101


class Failed(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failed(message)


class Sim:
    """vqhw-sim serving one reader on a loopback TCP port, and its panel."""

    def __init__(self, program, field, log_path):
        self.log_path = log_path
        self.log = open(log_path, 'wb')
        self.process = subprocess.Popen(
            [program, '--timing', 'instant', '--listen', 'socket://127.0.0.1:0', '--http', '127.0.0.1:0',
             '--field', field], stdout=subprocess.PIPE, stderr=self.log)
        try:
            self.port_url = self._first_line()
            self.panel_url = self._panel_url()
        except Exception:
            self.stop()
            raise

    def _first_line(self):
        ready, _, _ = select.select([self.process.stdout], [], [], 20)
        check(ready, f'vqhw-sim printed no port in 20 s: {self.notes()}')
        line = self.process.stdout.readline().decode().strip()
        check(line.startswith('socket://127.0.0.1:'), f'vqhw-sim printed {line!r}: {self.notes()}')
        return line

    def _panel_url(self):
        # Printed on stderr before the ports, so it is there by now.
        found = re.search(r'vqhw-sim: panel at (http://127\.0\.0\.1:\d+/)', self.notes())
        check(found, f'no panel address on stderr: {self.notes()}')
        return found.group(1)

    def notes(self):
        self.log.flush()
        with open(self.log_path, encoding='utf-8', errors='replace') as log:
            return log.read()

    def get(self, path):
        with urllib.request.urlopen(self.panel_url.rstrip('/') + path, timeout=10) as answer:
            return answer.read().decode()

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process.stdout.close()
        self.log.close()


class Lane:
    """Lane processes with VQHW_COM9 naming the reader."""

    def __init__(self, vqhw, lane_program, port_url):
        self.vqhw = vqhw
        self.lane_program = lane_program
        self.env = dict(os.environ, **{f'VQHW_COM{PORT}': port_url})

    def vqhw_run(self, *arguments):
        return subprocess.run([self.vqhw, '--port', str(PORT), *arguments], env=self.env, capture_output=True,
                              text=True, timeout=30)

    def card(self):
        """The serial the library's next opencard finds, or the tool's exit code."""
        run = self.vqhw_run('--json', 'card')
        if run.returncode != 0:
            return run.returncode
        return json.loads(run.stdout).get('serial')

    def start_purchase(self):
        return subprocess.Popen([self.lane_program, str(PORT)], env=self.env, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, text=True)


class Page:
    def __init__(self, driver, url, screenshots):
        self.driver = driver
        self.url = url
        self.screenshots = screenshots
        self.shots = 0

    def find(self, css):
        return self.driver.find_element(By.CSS_SELECTOR, css)

    def all(self, css):
        return self.driver.find_elements(By.CSS_SELECTOR, css)

    def click(self, css):
        # A state event may replace the element between finding and clicking it.
        for attempt in range(3):
            try:
                element = self.find(css)
                self.driver.execute_script('arguments[0].scrollIntoView({block: "center"})', element)
                element.click()
                return
            except StaleElementReferenceException:
                if attempt == 2:
                    raise

    def wait(self, what, condition, seconds=5):
        try:
            return WebDriverWait(self.driver, seconds, poll_frequency=0.05,
                                 ignored_exceptions=[StaleElementReferenceException]).until(lambda _: condition())
        except TimeoutException:
            raise Failed(f'{what}: not within {seconds} s') from None

    def card_row(self, serial):
        rows = self.all(f'#cards tbody tr[data-serial="{serial}"]')
        return rows[0] if rows else None

    def place_of(self, serial):
        row = self.card_row(serial)
        return row.get_attribute('data-place') if row else None

    def reply(self):
        box = self.find('#reply')
        return box.get_attribute('data-kind'), box.text

    def wait_reply(self, what, before):
        """The reply box after a click: its kind and text, once it changed."""
        self.wait(f'{what}: a reply', lambda: self.reply_count() != before)
        return self.reply()

    def reply_count(self):
        return self.find('#reply').get_attribute('data-count')

    def control(self, what, css):
        """Clicks css and answers the reply to the request it sent."""
        before = self.reply_count()
        self.click(css)
        return self.wait_reply(what, before)

    def shot(self, name):
        self.shots += 1
        path = os.path.join(self.screenshots, f'{self.shots:02d}-{name}.png')
        self.driver.save_screenshot(path)
        return path

    def frame_ids(self):
        return [int(i) for i in self.driver.execute_script(
            'return [...document.querySelectorAll("#frames tbody tr")].map(r => r.dataset.id)')]


def command_lines(record):
    """The command frames of a session record: lines with '>' and no '?'."""
    commands = []
    for line in record.splitlines():
        fields = line.split()
        if len(fields) >= 3 and not line.lstrip().startswith('#') and fields[1] == '>':
            commands.append(''.join(fields[2:]))
    return commands


def access_bytes(conditions):
    """Trailer bytes 6 to 8 for the conditions C1C2C3 (as numbers) of blocks 0 to 3."""
    c1 = c2 = c3 = 0
    for block, condition in enumerate(conditions):
        c1 |= (condition >> 2 & 1) << block
        c2 |= (condition >> 1 & 1) << block
        c3 |= (condition & 1) << block
    return bytes([(~c2 & 15) << 4 | (~c1 & 15), c1 << 4 | (~c3 & 15), c3 << 4 | c2])


def words(keys):
    return {'A|B': 'A or B'}.get(keys, keys)


# ---- The steps ----------------------------------------------------------------


def step_page_loads(page, sim, lane, work):
    page.driver.get(page.url)
    page.wait('the events stream opens', lambda: page.find('#events-status').get_attribute('data-state') == 'open')
    page.wait('the reader is shown', lambda: 'socket://127.0.0.1:' in page.find('#reader-line').text)
    check(page.find('#reader-picker').get_attribute('hidden') is not None, 'one reader: no picker')
    check(page.find('#psam-state').text == 'present', 'the PSAM is in its slot')
    names = [o.text for o in Select(page.find('#example-card')).options]
    check(any(LANE_CARD in name for name in names), f'the examples offer lane.json\'s card: {names}')
    check(lane.card() == NO_CARD, 'the field starts empty: the lane finds no card')


def step_present_by_click(page, sim, lane, work):
    select = Select(page.find('#example-card'))
    select.select_by_visible_text(next(o.text for o in select.options if LANE_CARD in o.text))
    kind, text = page.control('present', '#present-example-button')
    check(kind == 'ok', f'present: {text}')
    page.wait('the card row', lambda: page.place_of(LANE_CARD) == 'field')
    known = max(page.frame_ids(), default=0)
    check(lane.card() == LANE_CARD, 'the lane\'s opencard finds the card presented')
    lane_done = time.monotonic()
    # The lane's frames on the page within a second of its exit: waited for
    # up to its activation's answer, not to the first of them (under load
    # the probe can be drawn before the rest).
    new_rows_of = lambda: [r for r in page.all('#frames tbody tr') if int(r.get_attribute('data-id')) > known]
    page.wait('the lane\'s frames', lambda: any(
        r.get_attribute('data-code') == '80' for r in new_rows_of()), seconds=1)
    shown_in = time.monotonic() - lane_done
    new_rows = new_rows_of()
    directions = {r.get_attribute('data-direction') for r in new_rows}
    check({'command', 'answer'} <= directions, f'commands and answers shown: {directions}')
    check(any(r.get_attribute('data-code') == '80' for r in new_rows), 'the activation (80) shown')
    print(f'  the lane\'s frames shown {shown_in * 1000:.0f} ms after it ended')


def step_memory_and_write(page, sim, lane, work):
    page.click(f'#cards tr[data-serial="{LANE_CARD}"] button[data-action="memory"]')
    page.wait('the memory table', lambda: len(page.all('#memory tbody tr')) == 64)
    # Sector 1 of lane.json: access bits 78 77 88 69, as the vqhw tool decodes them.
    row = page.find('#memory tr[data-block="4"]')
    check('4C 41 4E 45' in row.find_element(By.CSS_SELECTOR, '.data').text, 'block 4 as the field file holds it')
    tool = json.loads(lane.vqhw_run('--json', 'trailer', '--bits', '78778869').stdout)['access']['blocks']
    for block, decoded in zip((4, 5, 6, 7), tool):
        access = page.find(f'#memory tr[data-block="{block}"] .access').text
        check(access.startswith(f'C1C2C3 {decoded["conditions"]}:'), f'block {block}: {access}')
    # A block that is no 16 bytes is refused on the page; a good one reaches the card.
    page.find('#write-block').clear()
    page.find('#write-block').send_keys('12')
    page.find('#write-data').clear()
    page.find('#write-data').send_keys('0011')
    kind, text = page.control('a short block', '#write-button')
    check(kind == 'error' and '32 hex digits' in text, f'a short block refused: {kind} {text}')
    data = '00112233445566778899AABBCCDDEEFF'
    page.find('#write-data').clear()
    page.find('#write-data').send_keys(data)
    kind, text = page.control('write', '#write-button')
    check(kind == 'ok', f'write: {text}')
    page.wait('block 12 shown as written',
              lambda: page.find('#memory tr[data-block="12"] .data').text.replace(' ', '') == data)
    read = lane.vqhw_run('--json', 'read', '12', '-k', 'FFFFFFFFFFFF')
    check(read.returncode == 0, f'vqhw read 12: {read.stderr}')
    check(json.loads(read.stdout)['blocks'][0]['data'] == data, f'the lane reads what the page wrote: {read.stdout}')


def step_access_words(page, sim, lane, work):
    """Every condition of a data block and a trailer, in words, as the vqhw tool decodes them."""
    for sector in range(8, 16):
        trailer = sector - 8
        data = [(trailer + 1 + i * 3) % 8 for i in range(3)]
        bits = access_bytes(data + [trailer]).hex().upper()
        page.find('#write-block').clear()
        page.find('#write-block').send_keys(str(sector * 4 + 3))
        page.find('#write-data').clear()
        page.find('#write-data').send_keys(f'FFFFFFFFFFFF{bits}69FFFFFFFFFFFF')
        kind, text = page.control(f'trailer of sector {sector}', '#write-button')
        check(kind == 'ok', f'write trailer {sector}: {text}')
        page.wait(f'sector {sector}\'s trailer shown', lambda: bits in page.find(
            f'#memory tr[data-block="{sector * 4 + 3}"] .data').text.replace(' ', ''))
        tool = json.loads(lane.vqhw_run('--json', 'trailer', '--bits', bits + '69').stdout)['access']['blocks']
        t = tool[3]['rights']
        key_b_readable = t['read_key_b'] != 'never'
        expected_trailer = (f'C1C2C3 {tool[3]["conditions"]}: key A: write {words(t["write_key_a"])} · access bits: '
                            f'read {words(t["read_access"])}, write {words(t["write_access"])} · key B: read '
                            f'{words(t["read_key_b"])}, write {words(t["write_key_b"])}')
        shown = page.find(f'#memory tr[data-block="{sector * 4 + 3}"] .access').text
        check(shown.startswith(expected_trailer), f'sector {sector} trailer: {shown!r}, tool: {expected_trailer!r}')
        for i in range(3):
            r = tool[i]['rights']
            # Where key B is readable it opens nothing: only key A's rights stay.
            given = {k: ('A' if 'A' in v else 'never') if key_b_readable else v for k, v in r.items()}
            expected = (f'C1C2C3 {tool[i]["conditions"]}: read {words(given["read"])} · write {words(given["write"])}'
                        f' · increment {words(given["increment"])} · decrement {words(given["decrement"])}')
            shown = page.find(f'#memory tr[data-block="{sector * 4 + i}"] .access').text
            check(shown == expected, f'block {sector * 4 + i}: {shown!r}, tool: {expected!r}')


def step_remove_by_click(page, sim, lane, work):
    kind, text = page.control('remove', f'#cards tr[data-serial="{LANE_CARD}"] button[data-action="remove"]')
    check(kind == 'ok', f'remove: {text}')
    page.wait('the card row goes', lambda: page.card_row(LANE_CARD) is None)
    check(page.find('#memory-section').get_attribute('hidden') is not None, 'no memory of a card gone')
    check(lane.card() == NO_CARD, 'the lane finds no card')


def torn_purchase(page, sim, lane, work, outcome, expect_line):
    card_file = os.path.join(work, 'purse.json')
    with open(card_file, 'w') as f:
        json.dump(PURSE, f)
    before = page.reply_count()
    page.find('#card-file').send_keys(card_file)
    kind, text = page.wait_reply('present the purse from a file', before)
    check(kind == 'ok', f'present from a file: {text}')
    page.wait('the purse in the field', lambda: page.place_of(PURSE['serial']) == 'field')
    check(page.card_row(PURSE['serial']).find_element(By.CSS_SELECTOR, '.balance').text == '10000', 'its balance')

    Select(page.find('#tear-outcome')).select_by_value(outcome)
    Select(page.find('#tear-target')).select_by_value('debit')
    kind, text = page.control('tear', '#tear-arm')
    check(kind == 'ok', f'tear: {text}')
    page.wait('the armed tear shown', lambda: f'tear {outcome}' in page.find('#armed').text)
    page.shot(f'tear-{outcome}-armed')

    known = max(page.frame_ids(), default=0)
    purchase = lane.start_purchase()
    try:
        page.wait('the torn purse set aside', lambda: page.place_of(PURSE['serial']) == 'aside', seconds=10)
        page.shot(f'tear-{outcome}-card-aside')
        kind, text = page.control('enter', f'#cards tr[data-serial="{PURSE["serial"]}"] button[data-action="enter"]')
        check(kind == 'ok', f'enter: {text}')
        output, _ = purchase.communicate(timeout=30)
    finally:
        if purchase.poll() is None:
            purchase.kill()
            purchase.communicate()
    lane_done = time.monotonic()
    check(purchase.returncode == 0, f'the lane recovers ({purchase.returncode}):\n{output}')
    # Its last command, GET BALANCE, on the page within a second of its exit.
    page.wait('the lane\'s last command shown', lambda: page.driver.execute_script(
        'return [...document.querySelectorAll("#frames tr[data-direction=command]")]'
        '.some(r => Number(r.dataset.id) > arguments[0] && r.textContent.includes("805C000204"))', known), seconds=1)
    print(f'  {outcome}: the lane\'s last command shown {(time.monotonic() - lane_done) * 1000:.0f} ms after it ended')
    check(expect_line in output, f'the lane: {expect_line!r} expected:\n{output}')
    row = lambda: page.card_row(PURSE['serial'])
    page.wait('the balance less one toll',
              lambda: row() is not None and row().find_element(By.CSS_SELECTOR, '.balance').text == str(10000 - TOLL))
    check(row().find_element(By.CSS_SELECTOR, '.purchases').text == '1', 'one purchase counted on the card')
    kind, text = page.control('remove', f'#cards tr[data-serial="{PURSE["serial"]}"] button[data-action="remove"]')
    check(kind == 'ok', f'remove: {text}')
    page.wait('the purse gone', lambda: page.card_row(PURSE['serial']) is None)


def step_record_torn_purchases(page, sim, lane, work):
    kind, text = page.control('start recording', '#record-toggle')
    check(kind == 'ok' and page.find('#record-toggle').get_attribute('data-recording') == 'true', text)
    torn_purchase(page, sim, lane, work, 'not-done', 'nothing to prove, paying again')
    torn_purchase(page, sim, lane, work, 'done', 'it paid')
    kind, text = page.control('stop recording', '#record-toggle')
    check(kind == 'ok' and page.find('#record-toggle').get_attribute('data-recording') == 'false', text)


def timelines_opened(page):
    return int(page.find('#timeline').get_attribute('data-opened') or 0)


def check_timeline(page, commands, how, opened_before):
    # A record of the same exchanges drawn again has as many bars: wait for
    # the new drawing, not for the count alone.
    page.wait(f'{how}: the timeline', lambda: timelines_opened(page) > opened_before and
              len(page.all('#timeline .exchange')) == len(commands), seconds=5)
    failed = page.all('#timeline .exchange.failed')
    check(len(failed) >= 2, f'{how}: the two torn DEBITs fail: {len(failed)} failed')
    bar = page.all('#timeline .exchange')[len(commands) // 2]
    page.driver.execute_script('arguments[0].scrollIntoView({inline: "center", block: "center"})', bar)
    page.driver.execute_script('arguments[0].dispatchEvent(new MouseEvent("click", {bubbles: true}))', bar)
    index = int(bar.get_attribute('data-index'))
    page.wait(f'{how}: the exchange\'s bytes', lambda: page.find('#exchange-detail').get_attribute('data-index') == str(index))
    shown = page.find('#exchange-detail .command').text.replace('command', '').replace(' ', '')
    check(shown == commands[index], f'{how}: exchange {index}: {shown}, the record: {commands[index]}')


def step_timeline(page, sim, lane, work):
    record = sim.get('/api/readers/1/record')
    commands = command_lines(record)
    check(len(commands) > 20, f'the record holds the lanes\' commands: {len(commands)}')
    href = page.find('#record-download').get_attribute('href')
    check(href.endswith('/api/readers/1/record'), f'the download link: {href}')
    opened = timelines_opened(page)
    page.click('#timeline-current')
    check_timeline(page, commands, 'the current recording', opened)
    width = float(page.find('#timeline').get_attribute('width'))
    page.click('#timeline-zoom-in')
    check(float(page.find('#timeline').get_attribute('width')) > width * 1.5, 'zoom in widens the time axis')
    page.shot('timeline-current-recording')
    record_file = os.path.join(work, 'lane.record')
    with open(record_file, 'w') as f:
        f.write(record)
    opened = timelines_opened(page)
    page.find('#timeline-file').send_keys(record_file)
    check_timeline(page, commands, 'the record file', opened)


def step_refusal_shown(page, sim, lane, work):
    page.find('#raw-request').send_keys('enter 01020304')
    kind, text = page.control('a refused request', '#raw-form button[type="submit"]')
    check(kind == 'error' and '400' in text, f'a refusal shown: {kind} {text}')


def step_line_and_psam_controls(page, sim, lane, work):
    kind, text = page.control('psam locked', 'button[data-psam="locked"]')
    check(kind == 'ok', f'psam locked: {text}')
    page.wait('the PSAM shown locked', lambda: page.find('#psam-state').text == 'locked')
    kind, text = page.control('psam present', 'button[data-psam="present"]')
    page.wait('the PSAM shown present', lambda: page.find('#psam-state').text == 'present')
    Select(page.find('#fault-kind')).select_by_value('late')
    page.find('#fault-value').send_keys('300')
    page.find('#fault-count').clear()
    page.find('#fault-count').send_keys('2')
    kind, text = page.control('fault late', '#fault-arm')
    check(kind == 'ok', f'fault late 300 2: {text}')
    page.wait('the late answers armed', lambda: 'late' in page.find('#armed').text)
    page.shot('fault-armed')
    kind, text = page.control('fault clear', '#fault-clear')
    page.wait('the faults cleared', lambda: page.find('#armed').text == 'nothing')
    select = Select(page.find('#example-scenario'))
    select.select_by_visible_text('two-cards.json')
    kind, text = page.control('scenario', '#scenario-play')
    check(kind == 'ok', f'scenario: {text}')
    page.wait('the scenario\'s events shown', lambda: page.find('#scenario-events').text != 'none')
    page.wait('its cards in the field', lambda: len(page.all('#cards tbody tr[data-place="field"]')) == 2)
    page.shot('scenario-playing')
    kind, text = page.control('scenario stop', '#scenario-stop')
    check(kind == 'ok', f'scenario stop: {text}')
    page.wait('no scenario shown', lambda: page.find('#scenario-events').text == 'none')
    kind, text = page.control('remove every card', '#remove-all')
    page.wait('no card shown', lambda: not page.all('#cards tbody tr'))


def step_frames_bounded(page, sim, lane, work):
    kind, text = page.control('present', '#present-example-button')
    check(kind == 'ok', f'present: {text}')
    page.wait('the card row', lambda: page.place_of(LANE_CARD) == 'field')
    for _ in range(3):  # some 160 frames a dump
        run = lane.vqhw_run('dump', '-k', 'FFFFFFFFFFFF', '-k', 'A0A1A2A3A4A5')
        check(run.returncode == 0, f'vqhw dump: {run.stderr}')
    last = lambda: max(page.frame_ids(), default=0)
    ids = page.wait('500 rows, the newest kept', lambda: (lambda i: i if len(i) == 500 and i[-1] >= 700 else None)(
        page.frame_ids()), seconds=5)
    check(ids == list(range(ids[-1] - 499, ids[-1] + 1)), f'the oldest dropped: {ids[0]}..{ids[-1]}')
    check(last() == ids[-1], 'the newest last')


STEPS = [
    ('page-loads', step_page_loads),
    ('present-by-click', step_present_by_click),
    ('memory-and-write', step_memory_and_write),
    ('access-words', step_access_words),
    ('remove-by-click', step_remove_by_click),
    ('torn-purchases-recorded', step_record_torn_purchases),
    ('timeline', step_timeline),
    ('refusal-shown', step_refusal_shown),
    ('line-and-psam-controls', step_line_and_psam_controls),
    ('frames-bounded', step_frames_bounded),
]


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for argument in ('--headless=new', '--no-sandbox', '--window-size=1400,1100', '--disable-gpu'):
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service(executable_path=CHROMEDRIVER), options=options)
    driver.set_page_load_timeout(30)
    driver.set_script_timeout(10)
    return driver


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--sim', required=True, help='the vqhw-sim program')
    parser.add_argument('--vqhw', required=True, help='the vqhw tool')
    parser.add_argument('--lane', required=True, help='the vqhw_torn_purchase_lane program')
    parser.add_argument('--screenshots', default=os.environ.get('VQHW_PANEL_SCREENSHOTS', 'panel-screenshots'),
                        help='where each step\'s screenshot goes (default $VQHW_PANEL_SCREENSHOTS, else '
                             './panel-screenshots)')
    arguments = parser.parse_args()
    if webdriver is None or not os.access(CHROMIUM, os.X_OK) or not os.access(CHROMEDRIVER, os.X_OK):
        print(f'skipped: needs python3-selenium, {CHROMIUM} and {CHROMEDRIVER}')
        return SKIP
    os.makedirs(arguments.screenshots, exist_ok=True)
    work = tempfile.mkdtemp(prefix='vqhw-panel-')
    field = os.path.join(work, 'empty-field.json')
    with open(field, 'w') as f:
        json.dump({'cards': []}, f)
    sim = driver = None
    passed = 0
    try:
        sim = Sim(arguments.sim, field, os.path.join(work, 'sim.log'))
        lane = Lane(arguments.vqhw, arguments.lane, sim.port_url)
        driver = browser()
        page = Page(driver, sim.panel_url, arguments.screenshots)
        for name, step in STEPS:
            try:
                step(page, sim, lane, work)
            except Exception as error:
                shot = page.shot(f'{name}-FAILED')
                print(f'FAILED {name}: {error}\n  screenshot {shot}')
                if not isinstance(error, Failed):
                    traceback.print_exc()
                print(f'vqhw-sim said:\n{sim.notes()}')
                return 1
            page.shot(name)
            passed += 1
            print(f'ok {name}')
        return 0
    finally:
        print(f'{passed} of {len(STEPS)} steps passed; screenshots in {arguments.screenshots}')
        if driver is not None:
            driver.quit()
        if sim is not None:
            sim.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    sys.exit(main())
