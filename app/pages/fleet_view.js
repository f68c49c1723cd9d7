// The dashboard's fleet overview ("Flotte"): every driver and vehicle of the kept archive index
// with their deadlines, as two sortable, filterable tables; a row opens the driver's analysis or
// the vehicle view. Rendered with the page's helpers (esc, call, toast …), which exist once the page has loaded.
'use strict';

var FLEET = null;
var FLEET_STYLE = '#fleet .fl-tools{display:flex;gap:8px;flex-wrap:wrap;align-items:center;padding:12px 20px}' +
  '#fleet .fl-tools input,#fleet .fl-tools select{font:inherit;padding:6px 10px;border:1px solid var(--line);border-radius:8px;background:var(--panel);color:var(--ink)}' +
  '#fleet .fl-tools input[type=search]{flex:1;min-width:200px}' +
  '#fleet th[data-col]{cursor:pointer;user-select:none}#fleet th[aria-sort=ascending]::after{content:" ▲"}#fleet th[aria-sort=descending]::after{content:" ▼"}' +
  '#fleet tr.fl-filter th{padding:2px 4px}#fleet tr.fl-filter input{width:100%;min-width:40px;font:inherit;font-size:12px;padding:3px 6px;border:1px solid var(--line);border-radius:6px;background:var(--panel);color:var(--ink)}' +
  '#fleet tbody tr[data-path]{cursor:pointer}#fleet tbody tr[data-path]:hover td{background:var(--panel2)}' +
  '#fleet td.red{color:var(--crit);font-weight:700}#fleet td.amber{color:var(--warn);font-weight:700}' +
  '#fleet .kpi.amber{border-color:var(--warn);background:var(--warn-tint)}';

function dueClass(due) { return !due ? '' : due.state === 'overdue' ? 'red' : due.state === 'soon' ? 'amber' : ''; }
function dueKey(due) { return due && due.due ? Number(due.days) : Infinity; }
function numberOr(value) { return value == null ? '…' : grouped(Number(value) || 0); }
function findingOf(i) { return function (r) { return Array.isArray(r.findings) ? Number(r.findings[i]) : null; }; }

// Each column: its heading, the value it sorts and filters by, the text it shows, its colour.
var FLEET_TABLES = {
  drivers: [
    {label: 'Fahrer', key: function (r) { return r.name; }},
    {label: 'Karte', key: function (r) { return r.card; }},
    {label: 'Karte gültig bis', key: function (r) { return dueKey(r.expiry); }, text: function (r) { return orDash(r.expiry.due); }, cls: function (r) { return dueClass(r.expiry); }},
    {label: 'Letzter Download', key: function (r) { return Number(r.lastAt) || 0; }, text: function (r) { return orDash(r.last); }},
    {label: 'Nächster Download', key: function (r) { return dueKey(r.download); }, text: function (r) { return orDash(r.download.due); }, cls: function (r) { return dueClass(r.download); }},
    {label: 'Tage ohne Daten', key: function (r) { return r.noData; }, text: function (r) { return r.problem ? 'nicht auswertbar' : numberOr(r.noData); }, n: true},
    {label: 'MSI', key: findingOf(0), cls: function (r) { return findingOf(0)(r) > 0 ? 'red' : ''; }, n: true},
    {label: 'VSI', key: findingOf(1), cls: function (r) { return findingOf(1)(r) > 0 ? 'red' : ''; }, n: true},
    {label: 'SI', key: findingOf(2), cls: function (r) { return findingOf(2)(r) > 0 ? 'amber' : ''; }, n: true},
    {label: 'MI', key: findingOf(3), n: true},
    {label: 'Signatur', key: function (r) { return Number(r.signature) || 0; }, text: function (r) { return r.signature > 0 ? r.signature + ' Probleme' : 'in Ordnung'; }, cls: function (r) { return r.signature > 0 ? 'red' : ''; }}],
  vehicles: [
    {label: 'Kennzeichen', key: function (r) { return r.plate; }},
    {label: 'FIN', key: function (r) { return r.vin; }},
    {label: 'Letzter Download', key: function (r) { return Number(r.lastAt) || 0; }, text: function (r) { return orDash(r.last); }},
    {label: 'Nächster Download', key: function (r) { return dueKey(r.download); }, text: function (r) { return orDash(r.download.due); }, cls: function (r) { return dueClass(r.download); }},
    {label: 'Nächste Kalibrierung', key: function (r) { return dueKey(r.calibration); }, text: function (r) { return r.noCard == null ? '…' : orDash(r.calibration.due); }, cls: function (r) { return dueClass(r.calibration); }},
    {label: 'Ohne Karte (90 Tage)', key: function (r) { return r.noCard; }, text: function (r) { return r.noCard == null ? '…' : hhmm(r.noCard) + ' h'; }, cls: function (r) { return r.noCard > 0 ? 'red' : ''; }, n: true}]
};
var fleetOrder = {drivers: {col: 0, dir: 1}, vehicles: {col: 0, dir: 1}};
var fleetFilters = {drivers: [], vehicles: []};

function cellText(column, r) { var v = column.text ? column.text(r) : column.key(r); return v == null ? '…' : String(v); }
function rowsOf(name) { return FLEET && Array.isArray(FLEET[name]) ? FLEET[name] : []; }

var fleetCollator = new Intl.Collator('de');

// The rows that pass the search box, the urgency filter and every column's filter, in the chosen order.
function shownRows(name) {
  var columns = FLEET_TABLES[name], order = fleetOrder[name], filters = fleetFilters[name];
  var search = ($('fleetSearch').value || '').toLowerCase(), urgency = $('fleetUrgency').value;
  var texts = search || filters.some(Boolean);
  var rows = !texts && !urgency ? rowsOf(name) : rowsOf(name).filter(function (r) {
    if (urgency) {
      var classes = columns.map(function (c) { return c.cls ? c.cls(r) : ''; });
      if (classes.indexOf('red') < 0 && (urgency === 'red' || classes.indexOf('amber') < 0)) return false;
    }
    if (!texts) return true;
    var cells = columns.map(function (c) { return cellText(c, r).toLowerCase(); });
    if (search && !cells.some(function (t) { return t.indexOf(search) >= 0; })) return false;
    return filters.every(function (f, i) { return !f || cells[i].indexOf(f) >= 0; });
  });
  var key = columns[order.col].key;
  return rows.map(function (r, i) { return [key(r), i, r]; }).sort(function (a, b) {
    var x = a[0], y = b[0];
    if (x == null || y == null) return x == null && y == null ? a[1] - b[1] : x == null ? 1 : -1;  // not yet known: last
    var c = typeof x === 'number' && typeof y === 'number' ? x - y : fleetCollator.compare(String(x), String(y));
    return (c || a[1] - b[1]) * order.dir;
  }).map(function (e) { return e[2]; });
}

function renderFleetBody(name) {
  var columns = FLEET_TABLES[name], rows = shownRows(name);
  $('fleet-' + name).querySelector('tbody').innerHTML = rows.length ? rows.map(function (r) {
    return '<tr data-path="' + esc(r.path) + '">' + columns.map(function (c, i) {
      var cls = [i === 0 ? 'p' : '', c.n ? 'n' : '', c.cls ? c.cls(r) : ''].filter(Boolean).join(' ');
      return td(esc(cellText(c, r)), cls);
    }).join('') + '</tr>';
  }).join('') : '<tr><td class="empty" colspan="' + columns.length + '">Keine Einträge</td></tr>';
  $('fleet-' + name).querySelectorAll('th[data-col]').forEach(function (th) {
    var col = Number(th.getAttribute('data-col'));
    if (col === fleetOrder[name].col) th.setAttribute('aria-sort', fleetOrder[name].dir > 0 ? 'ascending' : 'descending');
    else th.removeAttribute('aria-sort');
  });
  $('fleetCap-' + name).textContent = rows.length + ' von ' + rowsOf(name).length;
}

function fleetTable(name, title) {
  var columns = FLEET_TABLES[name];
  return '<div class="card"><div class="card-head"><h2>' + title + '</h2><span class="cap" id="fleetCap-' + name + '"></span></div>' +
    '<div class="twrap"><table id="fleet-' + name + '"><thead><tr>' + columns.map(function (c, i) {
      return '<th data-col="' + i + '"' + (c.n ? ' class="n"' : '') + '>' + c.label + '</th>';
    }).join('') + '</tr><tr class="fl-filter">' + columns.map(function (c, i) {
      return '<th><input data-table="' + name + '" data-filter="' + i + '" aria-label="Filter ' + c.label + '"></th>';
    }).join('') + '</tr></thead><tbody></tbody></table></div></div>';
}

function renderFleet() {
  var d = FLEET || {};
  var tiles = [['Überfällig', d.red, Number(d.red) > 0 ? ' warn' : '', 'fleetRed'], ['Bald fällig', d.amber, Number(d.amber) > 0 ? ' amber' : '', 'fleetAmber'],
    ['Fahrer', rowsOf('drivers').length, '', 'fleetDrivers'], ['Fahrzeuge', rowsOf('vehicles').length, '', 'fleetVehicles']];
  $('fleetKpis').innerHTML = tiles.map(function (t) {
    return '<div class="kpi' + t[2] + '"><div class="k">' + t[0] + '</div><div class="n" id="' + t[3] + '">' + grouped(Number(t[1]) || 0) + '</div></div>';
  }).join('');
  var notes = [d.notice, Number(d.pending) > 0 ? Number(d.pending) + ' Fahrer und Fahrzeuge werden im Hintergrund ausgewertet …' : '',
    !rowsOf('drivers').length && !rowsOf('vehicles').length ? 'Der Archiv-Index ist leer: In der Fahrerermittlung einen Ordner mit Downloads einlesen.' : ''];
  $('fleetNote').hidden = !notes.some(Boolean);
  $('fleetNote').textContent = notes.filter(Boolean).join(' ');
  renderFleetBody('drivers');
  renderFleetBody('vehicles');
}

function buildFleet() {
  var style = document.createElement('style');
  style.textContent = FLEET_STYLE;
  document.head.appendChild(style);
  $('fleet').innerHTML = '<div class="card"><div class="fl-tools"><input type="search" id="fleetSearch" placeholder="Suche nach Name, Karte, Kennzeichen, FIN …" aria-label="Suche">' +
    '<select id="fleetUrgency" aria-label="Fristen"><option value="">Alle</option><option value="due">Rot und gelb</option><option value="red">Nur rot</option></select>' +
    '<button class="btn" id="fleetCsvBtn" data-fn="tachoFleetCsv">CSV</button><button class="btn" id="fleetReportBtn" data-fn="tachoFleetReport">PDF</button></div>' +
    '<div class="alert warn" id="fleetNote" hidden></div></div><div class="kpis" id="fleetKpis"></div>' +
    fleetTable('drivers', 'Fahrer') + fleetTable('vehicles', 'Fahrzeuge');
  $('fleetSearch').addEventListener('input', function () { renderFleetBody('drivers'); renderFleetBody('vehicles'); });
  $('fleetUrgency').addEventListener('change', function () { renderFleetBody('drivers'); renderFleetBody('vehicles'); });
  $('fleet').addEventListener('input', function (e) {
    var name = e.target.getAttribute('data-table');
    if (!name) return;
    fleetFilters[name][Number(e.target.getAttribute('data-filter'))] = e.target.value.toLowerCase();
    renderFleetBody(name);
  });
  $('fleet').addEventListener('click', function (e) {
    var th = e.target.closest('th[data-col]');
    if (th) {
      var name = th.closest('table').id.replace('fleet-', ''), col = Number(th.getAttribute('data-col'));
      fleetOrder[name] = {col: col, dir: fleetOrder[name].col === col ? -fleetOrder[name].dir : 1};
      renderFleetBody(name);
      return;
    }
    var row = e.target.closest('tbody tr[data-path]');
    if (row) openPath(row.getAttribute('data-path'));
  });
  $('fleetCsvBtn').onclick = function () { exportCsvSet('tachoFleetCsv'); };
  $('fleetReportBtn').onclick = function () { saveReportOf('tachoFleetReport', 'fleetReportBtn', 'Flotte ' + ((FLEET && FLEET.generated) || '')); };
  hideMissingControls();
}

// With complete true the bridge goes on computing what the overview lacks and calls
// __fleetRefreshed as it stores it.
function loadFleet(complete) {
  return call('tachoFleet', complete ? '1' : '0').then(function (d) {
    if (!d || !d.ok) { toast((d && d.error) || 'Flottenübersicht nicht verfügbar', 6000); return; }
    FLEET = d;
    renderFleet();
  }, function (e) { toast('Flottenübersicht nicht verfügbar: ' + errorText(e), 6000); });
}
window.__fleetRefreshed = function () { if (!$('fleet').hidden) loadFleet(false); };

function showFleet() {
  if (!$('fleet').firstChild) buildFleet();
  $('stage').hidden = true;
  $('app').hidden = true;
  leaveVehicleView();
  $('tabs').hidden = true;
  $('topTitle').textContent = 'Flotte';
  $('fleet').hidden = false;
  $('fleetBtn').setAttribute('aria-pressed', 'true');
  // The archive may have changed since the view was last shown: the finder keeps the index up to date.
  return loadFleet(true);
}
window.showFleet = showFleet;
// Back to what was shown before: the driver, the vehicle or the drop zone.
function closeFleet() {
  if ($('fleet').hidden) return;
  $('fleet').hidden = true;
  $('fleetBtn').setAttribute('aria-pressed', 'false');
  $('tabs').hidden = false;
  $('topTitle').textContent = 'Fahrerkarte';
}
function toggleFleet() {
  if ($('fleet').hidden) { showFleet(); return; }
  closeFleet();
  if (VEHICLE) showVehicle(VEHICLE);
  else if (DATA) $('app').hidden = false;
  else showStage('drop');
}

// Every way to another view passes the stage (opening a file, reading a card): the overview
// gives way to it.
document.addEventListener('DOMContentLoaded', function () {
  var showStageOfPage = window.showStage;
  window.showStage = function () { closeFleet(); return showStageOfPage.apply(this, arguments); };
  $('fleetBtn').onclick = toggleFleet;
});
