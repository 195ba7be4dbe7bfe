"""The built site: every public name of the stubs in the reference, and three pages as a browser shows
them (no console errors, formulas typeset by the bundled KaTeX, gallery pictures loaded)."""

import ast
import html.parser
import pathlib
import shutil

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]

STUBS = ROOT / "python" / "tarvel-stubs"


def public_names(path: pathlib.Path, module: str) -> set[str]:
    names = set()
    for node in ast.parse(path.read_text(encoding="utf-8")).body:
        if isinstance(node, (ast.ClassDef, ast.FunctionDef)) and not node.name.startswith("_"):
            names.add(f"{module}.{node.name}")
            for member in getattr(node, "body", []) if isinstance(node, ast.ClassDef) else []:
                if isinstance(member, ast.FunctionDef) and not member.name.startswith("_"):
                    names.add(f"{module}.{node.name}.{member.name}")
    return names


class Anchors(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.ids = set()

    def handle_starttag(self, tag, attrs):
        self.ids.update(value for name, value in attrs if name == "id" and value)


def test_reference_lists_every_public_name_of_the_stubs(site):
    expected = set()
    for stub in STUBS.glob("*.pyi"):
        module = "tarvel" if stub.stem == "__init__" else f"tarvel.{stub.stem}"
        expected |= public_names(stub, module)
    anchors = Anchors()
    for page in (site / "reference").glob("*.html"):
        anchors.feed(page.read_text(encoding="utf-8"))
    assert expected, "no stubs found"
    assert sorted(expected - anchors.ids) == []


PAGES = ["index.html", "explanations/temperatures.html", "gallery/index.html"]


@pytest.fixture(scope="module")
def browser(site):
    webdriver = pytest.importorskip("selenium.webdriver")
    driver_path = shutil.which("chromedriver")
    if driver_path is None:
        pytest.skip("chromium-driver is not installed")
    options = webdriver.ChromeOptions()
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1200,1600"):
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    service = webdriver.ChromeService(executable_path=driver_path)
    driver = webdriver.Chrome(options=options, service=service)
    yield driver
    driver.quit()


@pytest.mark.parametrize("page", PAGES)
def test_page_in_a_browser(browser, site, page):
    browser.get((site / page).as_uri())
    # Formulas are typeset after the scripts load; wait for the marker the page sets when done.
    from selenium.webdriver.support.ui import WebDriverWait

    has_math = bool(browser.find_elements("css selector", "span.math, div.math"))
    if has_math:
        WebDriverWait(browser, 20).until(
            lambda b: b.find_element("tag name", "body").get_attribute("data-math-rendered") == "yes")
        assert browser.find_elements("css selector", ".katex")
    images = browser.find_elements("tag name", "img")
    for image in images:
        assert browser.execute_script("return arguments[0].complete && arguments[0].naturalWidth > 0",
                                      image), image.get_attribute("src")
    if page.startswith("gallery"):
        assert len(images) >= 3
    shots = site.parent / "screenshots"
    shots.mkdir(exist_ok=True)
    browser.save_screenshot(str(shots / (page.replace("/", "_").removesuffix(".html") + ".png")))
    errors = [entry for entry in browser.get_log("browser") if entry["level"] == "SEVERE"]
    assert errors == []


def test_the_math_page_has_formulas(browser, site):
    browser.get((site / "explanations/temperatures.html").as_uri())
    assert browser.find_elements("css selector", "span.math, div.math")
