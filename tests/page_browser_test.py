#!/usr/bin/python3
"""The interactive page of seqord-plot --html in a real browser.

Runs the barley chain (seqord-prep, seqord, seqord-export, seqord-plot
--html) in a fresh folder, opens BARLEY.html from the file system in headless
Chromium with the network switched off, and checks the page against the
files: window.seqordView against .ORP (frame 'seqord') and the trajectory
table (frame 'fitted') in every year, the markers it draws, the tooltip, the
year slider from the keyboard, the stability and pairs tables against their
CSV tables, the downloads, and that the console holds no error and no
request left the file.

Needs Debian's chromium, chromium-driver and python3-selenium (tools/deps.sh
installs them).  Without them it says so and exits 77, which ctest reports
as skipped.
"""
import argparse
import base64
import csv
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET

SKIP = 77
CHROMIUM = '/usr/bin/chromium'
CHROMEDRIVER = '/usr/bin/chromedriver'

args = None
page = None      # the browser, on BARLEY.html
job = None       # what the files say


def skip(reason):
    print('SKIPPED: the browser test of seqord-plot --html cannot run: ' + reason +
          '. Install the Debian packages chromium, chromium-driver and python3-selenium '
          '(tools/deps.sh does, as root).', flush=True)
    sys.exit(SKIP)


def run(exe, *argv):
    r = subprocess.run([exe, *argv], cwd=args.work, capture_output=True, text=True)
    if r.returncode != 0:
        raise RuntimeError('%s %s: status %d\n%s%s' % (exe, ' '.join(argv), r.returncode, r.stdout, r.stderr))
    return r


def read_orp(path):
    """Years of a .ORP file: [(name, {location short name: (axis1, axis2)})]."""
    years = []
    with open(path, 'rb') as f:
        lines = f.read().decode('latin-1').split('\r\n')
    i = 0
    while i < len(lines):
        line = lines[i]
        if line.strip() == '':
            i += 1
            continue
        if line.startswith(' ev as % of SS'):
            i += 1
            continue
        if len(line) <= 14 and line[:4].strip().isdigit():   # the year record: (I4,1X,A8,1X)
            years.append((line[5:13].strip(), {}))
            i += 1
            continue
        # a point record: (A8,1X,I4,1X,A8,1X,4F8.3)
        name = line[14:22].strip()
        x, y = line[23:31], line[31:39]
        assert years, 'a point before the first year in ' + path
        if '*' not in x + y:
            years[-1][1][name] = (float(x), float(y))
        i += 1
    return years


def read_csv(path):
    with open(path, newline='', encoding='utf-8') as f:
        return list(csv.DictReader(f))


def setUpModule():
    global page, job
    os.makedirs(args.work, exist_ok=True)
    for f in os.listdir(args.work):
        p = os.path.join(args.work, f)
        if os.path.isdir(p):
            shutil.rmtree(p)
        else:
            os.remove(p)
    for f in ('barley.csv', 'TRIAL.EMA', 'TRIAL.NAQ'):
        shutil.copy(os.path.join(args.examples, f), args.work)
    run(args.prep, '--value', 'value', 'barley.csv', 'BARLEY')
    run(args.seqord, 'BARLEY')
    run(args.export, 'BARLEY')
    out = run(args.plot, '--html', 'BARLEY')
    assert 'wrote BARLEY.html' in out.stdout, out.stdout

    names = read_csv(os.path.join(args.work, 'BARLEY.names.csv'))
    full = {r['name']: r['value'] for r in names if r['kind'] == 'location'}
    year_full = {r['name']: r['value'] for r in names if r['kind'] == 'year'}
    orp = read_orp(os.path.join(args.work, 'BARLEY.ORP'))
    trajectory = read_csv(os.path.join(args.work, 'BARLEY.trajectory.csv'))
    job = {
        'years': [year_full.get(y, y) for y, _ in orp],
        'seqord': [{full.get(n, n): xy for n, xy in pts.items()} for _, pts in orp],
        'fitted': [{} for _ in orp],
        'consensus': read_csv(os.path.join(args.work, 'BARLEY.consensus.csv')),
        'pairs': read_csv(os.path.join(args.work, 'BARLEY.pairs.csv')),
        'full': full,
        'html': os.path.join(args.work, 'BARLEY.html'),
    }
    for r in trajectory:
        job['fitted'][int(r['year_index']) - 1][r['location_name']] = (float(r['dim1']), float(r['dim2']))
    assert 'Crookston' in full.values() and 'GrandRapids' in full.values(), 'the names file lacks the full names'

    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    opts = webdriver.ChromeOptions()
    opts.binary_location = CHROMIUM
    for a in ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
              '--disable-background-networking', '--disable-component-update', '--disable-sync',
              '--window-size=1400,1000', '--user-data-dir=' + tempfile.mkdtemp(dir=args.work, prefix='chromium-')]:
        opts.add_argument(a)
    opts.set_capability('goog:loggingPrefs', {'performance': 'ALL', 'browser': 'ALL'})
    page = webdriver.Chrome(service=Service(CHROMEDRIVER), options=opts)
    page.set_network_conditions(offline=True, latency=0, download_throughput=0, upload_throughput=0)
    page.get('about:blank')
    page.get_log('performance')     # what the browser did before the page
    page.get_log('browser')
    page.get('file://' + os.path.abspath(job['html']))


def tearDownModule():
    if page is not None:
        page.quit()


def view(js, *a):
    return page.execute_script('return window.seqordView.' + js, *a)


class ScriptingInterface(unittest.TestCase):
    def test_years_in_file_order(self):
        self.assertEqual(view('years()'), job['years'])
        self.assertEqual(len(job['years']), 12)

    def test_every_year_in_both_frames_is_the_files(self):
        for frame in ('seqord', 'fitted'):
            view('setFrame(arguments[0])', frame)
            self.assertEqual(view('frame()'), frame)
            scale = max(max(abs(v) for xy in y.values() for v in xy) for y in job[frame] if y)
            # .ORP prints three decimals and the page carries them as they are;
            # the consensus frame is rounded to five significant digits.
            tol = 1e-9 if frame == 'seqord' else 1e-4 * scale
            for i, want in enumerate(job[frame]):
                view('setYear(arguments[0])', i)
                self.assertEqual(view('year()'), i)
                with self.subTest(frame=frame, year=job['years'][i]):
                    self.assertEqual(sorted(view('visibleLocations()')), sorted(want))
                    drawn = page.execute_script(
                        "return Array.from(document.querySelectorAll('g.loc[data-location]'))"
                        ".filter(g => g.getAttribute('display') !== 'none').map(g => g.getAttribute('data-location'))")
                    self.assertEqual(sorted(drawn), sorted(want))
                    for name in job['full'].values():
                        got = view('position(arguments[0])', name)
                        if name not in want:
                            self.assertIsNone(got, name)
                            continue
                        self.assertIsNotNone(got, name)
                        self.assertAlmostEqual(got[0], want[name][0], delta=tol, msg=name)
                        self.assertAlmostEqual(got[1], want[name][1], delta=tol, msg=name)
        # The two frames differ: the fit turns the years.
        view('setYear(0)')
        view("setFrame('seqord')")
        a = view("position('Duluth')")
        view("setFrame('fitted')")
        b = view("position('Duluth')")
        self.assertGreater(abs(a[0] - b[0]) + abs(a[1] - b[1]), 1e-3)

    def test_refusals(self):
        for bad in ('-1', '12', '1.5', "'2'"):
            with self.subTest(position=bad):
                msg = page.execute_script('try { window.seqordView.setYear(%s); return "taken"; } '
                                          'catch (e) { return e.name; }' % bad)
                self.assertEqual(msg, 'RangeError')
        msg = page.execute_script("try { window.seqordView.setFrame('axes'); return 'taken'; } catch (e) { return e.name; }")
        self.assertEqual(msg, 'TypeError')
        self.assertIsNone(view("position('Nowhere')"))


class Interaction(unittest.TestCase):
    def test_hover_shows_the_locations_figures(self):
        from selenium.webdriver.common.action_chains import ActionChains
        from selenium.webdriver.common.by import By
        view("setFrame('fitted')")
        view('setYear(2)')
        target = page.find_element(By.CSS_SELECTOR, 'g.loc[data-location="GrandRapids"] circle.dot')
        ActionChains(page).move_to_element(target).perform()
        tip = page.find_element(By.CSS_SELECTOR, '[role="tooltip"]')
        self.assertTrue(tip.is_displayed())
        text = tip.text
        x, y = job['fitted'][2]['GrandRapids']
        row = next(r for r in job['consensus'] if r['location_name'] == 'GrandRapids')
        for part in ('GrandRapids', job['years'][2], '%.3f' % x, '%.3f' % y,
                     'spread %.3f' % float(row['spread']), 'mean step %.3f' % float(row['mean_step'])):
            self.assertIn(part.replace('-0.000', '0.000'), text)
        ActionChains(page).move_to_element(page.find_element(By.CSS_SELECTOR, '#plot .axislabel')).perform()
        self.assertFalse(tip.is_displayed())

    def test_slider_takes_the_arrow_keys(self):
        from selenium.webdriver.common.by import By
        from selenium.webdriver.common.keys import Keys
        view('setYear(0)')
        slider = page.find_element(By.ID, 'year')
        slider.send_keys(Keys.ARROW_RIGHT)
        self.assertEqual(view('year()'), 1)
        slider.send_keys(Keys.ARROW_RIGHT, Keys.ARROW_RIGHT)
        self.assertEqual(view('year()'), 3)
        slider.send_keys(Keys.ARROW_LEFT)
        self.assertEqual(view('year()'), 2)
        slider.send_keys(Keys.END)
        self.assertEqual(view('year()'), len(job['years']) - 1)
        self.assertIn(job['years'][-1], page.find_element(By.ID, 'year-name').text)

    def test_entering_and_leaving_locations_are_marked(self):
        from selenium.webdriver.common.by import By
        for frame in ('seqord', 'fitted'):
            view('setFrame(arguments[0])', frame)
            for i in range(1, len(job['years'])):
                view('setYear(arguments[0])', i)
                before, now = set(job[frame][i - 1]), set(job[frame][i])
                entered = {e.get_attribute('data-location') for e in page.find_elements(By.CSS_SELECTOR, '#plot g.loc.enter')}
                left = {e.get_attribute('data-left') for e in page.find_elements(By.CSS_SELECTOR, '#plot g.ghost')}
                with self.subTest(frame=frame, year=job['years'][i]):
                    self.assertEqual(entered, now - before)
                    self.assertEqual(left, before - now)
        # Barley has both: Morris and Crookston miss years.
        self.assertTrue(any(set(job['seqord'][i - 1]) - set(job['seqord'][i]) for i in range(1, 12)))

    def test_click_highlights_the_path_and_lists_its_years(self):
        from selenium.webdriver.common.by import By
        view("setFrame('fitted')")
        view('setYear(0)')
        page.find_element(By.CSS_SELECTOR, 'g.loc[data-location="Morris"] circle.dot').click()
        panel = page.find_element(By.ID, 'selection').text
        years = [job['years'][i] for i, y in enumerate(job['fitted']) if 'Morris' in y]
        self.assertIn('Morris', panel)
        self.assertEqual([b.text for b in page.find_elements(By.CSS_SELECTOR, '#selection ul.years button')], years)
        self.assertEqual(len(page.find_elements(By.CSS_SELECTOR, '.seltrail .stop')), len(years))
        page.find_element(By.CSS_SELECTOR, 'g.loc[data-location="Morris"] circle.dot').click()   # again: off
        self.assertEqual(len(page.find_elements(By.CSS_SELECTOR, '.seltrail .stop')), 0)


class Tables(unittest.TestCase):
    def cells(self, table):
        from selenium.webdriver.common.by import By
        return [[td.text for td in tr.find_elements(By.TAG_NAME, 'td')]
                for tr in page.find_elements(By.CSS_SELECTOR, '#%s tbody tr' % table)]

    def test_stability_ranked_by_spread_and_sortable(self):
        from selenium.webdriver.common.by import By
        want = sorted(job['consensus'], key=lambda r: float(r['spread']))
        rows = self.cells('stability')
        self.assertEqual([r[1] for r in rows], [r['location_name'] for r in want])
        self.assertEqual([r[3] for r in rows], ['%.3f' % float(r['spread']) for r in want])
        self.assertEqual([r[2] for r in rows], [r['years'] for r in want])
        head = page.find_elements(By.CSS_SELECTOR, '#stability th button')
        step = [h.text for h in head].index('Mean step')
        head[step].click()
        steps = [float(r[4]) for r in self.cells('stability')]
        self.assertEqual(steps, sorted(steps))
        head[step].click()
        steps = [float(r[4]) for r in self.cells('stability')]
        self.assertEqual(steps, sorted(steps, reverse=True))

    def test_pairs_with_weak_fits_marked(self):
        from selenium.webdriver.common.by import By
        rows = self.cells('pairs')
        self.assertEqual(len(rows), len(job['pairs']))
        for got, want in zip(rows, job['pairs']):
            self.assertEqual(got[1], want['common_locations'])
            for cell, key in ((got[2], 'ss_seqord'), (got[3], 'ss_fit'), (got[4], 'procrustes_r')):
                self.assertEqual(cell, '%.3f' % float(want[key]) if want[key] else '\u2014')
        weak = [w['procrustes_r'] == '' or float(w['procrustes_r']) < 0.5 for w in job['pairs']]
        marked = ['weak' in (tr.get_attribute('class') or '')
                  for tr in page.find_elements(By.CSS_SELECTOR, '#pairs tbody tr')]
        self.assertEqual(marked, weak)

    def test_heading_gives_title_and_settings(self):
        from selenium.webdriver.common.by import By
        head = page.find_element(By.TAG_NAME, 'header').text
        self.assertIn('barley.csv', head)
        self.assertIn('cumulative', head)


class Controls(unittest.TestCase):
    def ticks(self):
        return page.execute_script("return Array.from(document.querySelectorAll('#plot .ticks text')).map(t => t.textContent)")

    def marker_at(self, name):
        t = page.execute_script('return document.querySelector(\'g.loc[data-location="\' + arguments[0] + \'"]\')'
                                '.getAttribute("transform")', name)
        x, y = t[len('translate('):-1].split(',')
        return float(x), float(y)

    def test_frame_buttons_trajectories_and_names(self):
        from selenium.webdriver.common.by import By
        view("setFrame('fitted')")
        view('setYear(0)')
        page.find_element(By.CSS_SELECTOR, 'input[name=frame][value=seqord]').click()
        self.assertEqual(view('frame()'), 'seqord')
        labels = [t.text for t in page.find_elements(By.CSS_SELECTOR, '#plot .axislabel')]
        self.assertTrue(labels[0].startswith('Axis 1 (') and job['years'][0] in labels[0], labels)
        page.find_element(By.CSS_SELECTOR, 'input[name=frame][value=fitted]').click()
        self.assertEqual(view('frame()'), 'fitted')
        self.assertEqual([t.text for t in page.find_elements(By.CSS_SELECTOR, '#plot .axislabel')],
                         ['Dimension 1 (consensus frame)', 'Dimension 2 (consensus frame)'])
        trails = page.find_element(By.CSS_SELECTOR, '#plot .trails')
        self.assertTrue(trails.is_displayed())
        page.find_element(By.ID, 'trails').click()
        self.assertFalse(trails.is_displayed())
        page.find_element(By.ID, 'trails').click()
        self.assertTrue(trails.is_displayed())
        name = page.find_element(By.CSS_SELECTOR, 'g.loc[data-location="Duluth"] text')
        self.assertTrue(name.is_displayed())
        page.find_element(By.ID, 'labels').click()
        self.assertFalse(name.is_displayed())
        page.find_element(By.ID, 'labels').click()
        self.assertTrue(name.is_displayed())

    def test_wheel_zooms_drag_pans_and_reset_returns(self):
        from selenium.webdriver.common.action_chains import ActionChains
        from selenium.webdriver.common.actions.wheel_input import ScrollOrigin
        from selenium.webdriver.common.by import By
        view("setFrame('seqord')")
        view('setYear(1)')
        page.execute_script('return new Promise(r => requestAnimationFrame(r))')
        whole, at = self.ticks(), self.marker_at('Duluth')
        area = page.find_element(By.CSS_SELECTOR, '#plot .area')
        ActionChains(page).scroll_from_origin(ScrollOrigin.from_element(area), 0, -400).perform()
        page.execute_script('return new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r)))')
        zoomed = self.ticks()
        self.assertNotEqual(zoomed, whole)
        self.assertEqual(view("position('Duluth')"), [job['seqord'][1]['Duluth'][0], job['seqord'][1]['Duluth'][1]])
        moved = self.marker_at('Duluth')
        # A drag moves everything by as much, and selects nothing.
        ActionChains(page).move_to_element_with_offset(area, -200, 150).click_and_hold().move_by_offset(60, -40) \
            .move_by_offset(40, -20).release().perform()
        page.execute_script('return new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r)))')
        dragged = self.marker_at('Duluth')
        scale = page.execute_script('const m = document.getElementById("plot").getScreenCTM(); return m.a;')
        self.assertAlmostEqual(dragged[0] - moved[0], 100 / scale, delta=2)
        self.assertAlmostEqual(dragged[1] - moved[1], -60 / scale, delta=2)
        self.assertEqual(page.find_elements(By.CSS_SELECTOR, '.seltrail .stop'), [])
        page.find_element(By.ID, 'reset').click()
        page.execute_script('return new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r)))')
        self.assertEqual(self.ticks(), whole)
        self.assertEqual(self.marker_at('Duluth'), at)

    def test_play_steps_through_the_years_and_pause_stops(self):
        import time
        from selenium.webdriver.common.by import By
        view('setYear(0)')
        play = page.find_element(By.ID, 'play')
        play.click()
        self.assertEqual(play.get_attribute('aria-label'), 'Pause')
        deadline = time.time() + 10
        while view('year()') < 2 and time.time() < deadline:
            time.sleep(0.1)
        play.click()
        self.assertEqual(play.get_attribute('aria-label'), 'Play')
        stopped = view('year()')
        self.assertGreaterEqual(stopped, 2)
        time.sleep(1.6)
        self.assertEqual(view('year()'), stopped)


class Downloads(unittest.TestCase):
    def test_svg_of_the_view(self):
        view("setFrame('seqord')")
        view('setYear(4)')
        root = ET.fromstring(view('svg()').encode('utf-8'))
        self.assertEqual(root.tag, '{http://www.w3.org/2000/svg}svg')
        drawn = [g.get('data-location') for g in root.iter('{http://www.w3.org/2000/svg}g')
                 if g.get('data-location') and g.get('display') != 'none']
        self.assertEqual(sorted(drawn), sorted(job['seqord'][4]))
        self.assertIn(job['years'][4], ''.join(root.itertext()))

    def test_png_of_the_view(self):
        url = page.execute_async_script(
            'const done = arguments[arguments.length - 1];'
            'window.seqordView.png(1).then(done, e => done("failed: " + e.message));')
        self.assertTrue(url.startswith('data:image/png;base64,'), url[:80])
        png = base64.b64decode(url.split(',', 1)[1])
        self.assertEqual(png[:8], b'\x89PNG\r\n\x1a\n')
        width, height = int.from_bytes(png[16:20], 'big'), int.from_bytes(png[20:24], 'big')
        self.assertEqual((width, height), (880, 620))


class Y_YearsWithoutPlace(unittest.TestCase):
    """The simulated trial: its fourth year has no block, so it holds no
    location and cannot be placed.  (Opens a second page: runs after the
    barley tests.)"""

    def test_the_page_says_which_years_hold_nothing(self):
        from selenium.webdriver.common.by import By
        run(args.seqord, 'TRIAL')
        run(args.plot, '--html', 'TRIAL')
        job['trial'] = 'file://' + os.path.abspath(os.path.join(args.work, 'TRIAL.html'))
        page.get(job['trial'])
        self.assertIn('No location retained (no block in the input): 2022.', page.find_element(By.TAG_NAME, 'header').text)
        for frame in ('fitted', 'seqord'):
            view('setFrame(arguments[0])', frame)
            view('setYear(2)')
            held = len(view('visibleLocations()'))
            self.assertGreater(held, 3)
            view('setYear(3)')
            self.assertEqual(view('visibleLocations()'), [])
            self.assertIn('2022: no location retained', page.find_element(By.CSS_SELECTOR, '#plot .message').text)
            self.assertEqual(len(page.find_elements(By.CSS_SELECTOR, '#plot g.ghost')), held)
            view('setYear(4)')
            self.assertEqual(page.find_element(By.CSS_SELECTOR, '#plot .message').text, '')
            self.assertEqual(len(page.find_elements(By.CSS_SELECTOR, '#plot g.loc.enter')), len(view('visibleLocations()')))


class ZZ_Offline(unittest.TestCase):
    """Last: everything above has run in this page."""

    def test_no_console_errors(self):
        log = page.get_log('browser')
        self.assertEqual([e for e in log if e['level'] in ('SEVERE', 'WARNING')], [])

    def test_no_request_leaves_the_file(self):
        me = 'file://' + os.path.abspath(job['html'])
        urls = []
        for e in page.get_log('performance'):
            m = json.loads(e['message'])['message']
            if m['method'] == 'Network.requestWillBeSent':
                urls.append(m['params']['request']['url'])
        self.assertIn(me, urls)
        self.assertIn(job['trial'], urls)
        self.assertEqual([u for u in urls if u not in (me, job['trial']) and not u.startswith(('data:', 'blob:'))], [])


def main():
    global args
    p = argparse.ArgumentParser()
    for k in ('prep', 'seqord', 'export', 'plot', 'examples', 'work'):
        p.add_argument('--' + k, required=True)
    args, rest = p.parse_known_args()
    try:
        import selenium  # noqa: F401
    except ImportError:
        skip('python3-selenium is not installed for ' + sys.executable)
    for path in (CHROMIUM, CHROMEDRIVER):
        if not os.access(path, os.X_OK):
            skip(path + ' is missing')
    prog = unittest.main(argv=[sys.argv[0], '-v', *rest], exit=False)
    sys.exit(0 if prog.result.wasSuccessful() else 1)


if __name__ == '__main__':
    main()
