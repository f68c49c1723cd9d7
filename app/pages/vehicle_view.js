// The dashboard's vehicle view: a vehicle unit's downloads as one document, rendered beside the
// driver view with the page's helpers (esc, table, call, toast …), which exist once the page has loaded.
'use strict';

var VEHICLE = null;
var VEHICLE_SECTIONS = [
  {id: 'vehNoCard', label: 'Fahren ohne Karte', count: 'noCard'}, {id: 'vehEvents', label: 'Ereignisse und Störungen', count: 'events'},
  {id: 'vehCalibrations', label: 'Kalibrierungen', count: 'calibrations'}, {id: 'vehLocks', label: 'Sperren und Downloads', count: 'locks'},
  {id: 'vehDrivers', label: 'Fahrer', count: 'drivers'}];
var TRACK_NAMES = ['Fahrer', 'Beifahrer'];

function vlist(name, from) { var o = from || VEHICLE || {}; return Array.isArray(o[name]) ? o[name] : []; }
function vobj(name) { var o = VEHICLE && VEHICLE[name]; return o && typeof o === 'object' ? o : {}; }

// The vehicle view replaces the driver view; the driver view's controls come back with the next card.
function showVehicle(d) {
  VEHICLE = d;
  DATA = null;
  $('stage').hidden = true;
  $('app').hidden = true;
  $('vehicle').hidden = false;
  $('tabs').hidden = true;
  $('vehNav').hidden = false;
  $('topTitle').textContent = 'Fahrzeug';
  renderVehicle();
}
function leaveVehicleView() {
  $('vehicle').hidden = true;
  $('vehNav').hidden = true;
  $('tabs').hidden = false;
  $('topTitle').textContent = 'Fahrerkarte';
}

function renderVehicle() {
  var d = VEHICLE, unit = vobj('unit'), counts = vobj('counts');
  $('vehPlate').textContent = orDash(d.plate);
  $('vehNation').textContent = nationName(d.nation);
  $('vehVin').textContent = orDash(d.vin);
  $('vehUnit').textContent = [unit.maker, unit.model, unit.generation].filter(Boolean).join(' · ') || 'Fahrzeuggerät unbekannt';
  $('vehPeriod').textContent = 'Zeitraum ' + orDash(d.period);
  renderVehicleSources();
  renderSkipped(d.skipped, 'vehSkipped');
  var noCard = vobj('noCard');
  var tiles = [['Fahren ohne Karte', counts.noCard, Number(counts.noCard) > 0], ['Ereignisse / Störungen', counts.events],
    ['Kalibrierungen', counts.calibrations], ['Fahrer', counts.drivers], ['Tage', counts.days]];
  $('vehKpis').innerHTML = tiles.map(function (t) {
    return '<div class="kpi' + (t[2] ? ' warn' : '') + '"><div class="k">' + t[0] + '</div><div class="n">' + grouped(Number(t[1]) || 0) + '</div></div>';
  }).join('');
  $('vehNav').innerHTML = VEHICLE_SECTIONS.map(function (s) {
    return '<button class="tab" data-target="' + s.id + '"><span class="lbl">' + s.label + '</span><span class="badge' +
      (s.count === 'noCard' && Number(counts.noCard) > 0 ? ' hot' : '') + '">' + grouped(Number(counts[s.count]) || 0) + '</span></button>';
  }).join('');
  $('vehNoCardCap').textContent = (Number(noCard.count) || 0) + ' Abschnitte · ' + orDash(noCard.dur) + ' h · ' + orDash(noCard.km) + ' km';
  $('vehNoCardTable').innerHTML = noCardTable(noCard);
  $('vehChart').innerHTML = vehicleChart();
  renderVehicleEvents();
  renderVehicleCalibrations();
  renderVehicleLocks();
  $('vehDriverTable').innerHTML = table(['Fahrer', 'Karte', 'Nation', 'Erste Nutzung', 'Letzte Nutzung', 'Steckvorgänge', 'Slots', 'Auswertung'],
    vlist('drivers').map(function (r) {
      var link = r.file ? '<button class="vlink" data-file="' + esc(r.file) + '">Auswertung öffnen</button>' : '<span class="tag plain">nicht im Archiv</span>';
      return tr([td(esc(orDash(r.name)), 'p'), td(esc(r.card)), td(esc(nationName(r.nation))), td(esc(r.first)), td(esc(r.last)),
        td(grouped(Number(r.insertions) || 0), 'n'), td(esc(r.slots)), td(link)]);
    }), 'Keine Fahrer aufgezeichnet', [5]);
}

// Each source file with its signature; an invalid one and the problems of reading stand out.
function renderVehicleSources() {
  var sources = vlist('sources');
  $('vehSources').hidden = sources.length === 0;
  $('vehSources').innerHTML = '<span class="lead">Quelldateien</span>' + sources.map(function (s) {
    var status = AUTHENTICITY[s.signature] ? s.signature : 'unchecked';
    var tip = [s.signatureText, s.downloaded ? 'Download ' + s.downloaded : '', s.days != null ? s.days + ' Tage' : ''].concat(vlist('problems', s))
      .filter(Boolean).join('\n');
    return '<span class="chip ' + status + '" title="' + esc(tip) + '"><span class="f">' + esc(s.file || baseName(s.path)) + '</span><span class="s">' +
      AUTHENTICITY[status] + (s.complete === false ? ' · unvollständig' : '') + '</span></span>';
  }).join('');
  var invalid = sources.filter(function (s) { return s.signature === 'invalid'; });
  $('vehAuthAlert').hidden = invalid.length === 0;
  $('vehAuthAlert').innerHTML = invalid.length === 0 ? '' : '<h4>Signatur ungültig — Echtheit der Daten nicht bestätigt</h4><ul>' +
    invalid.map(function (s) { return '<li><b>' + esc(s.file) + '</b>: ' + esc(s.signatureText) + '</li>'; }).join('') + '</ul>';
  var problems = vlist('problems').map(esc).concat([].concat.apply([], sources.map(function (s) {
    return vlist('problems', s).map(function (p) { return '<b>' + esc(s.file) + '</b>: ' + esc(p); });
  })));
  $('vehProblems').hidden = problems.length === 0;
  $('vehProblems').innerHTML = problems.length === 0 ? '' : '<h4>Hinweise zu den Quelldateien</h4><ul>' +
    problems.map(function (p) { return '<li>' + p + '</li>'; }).join('') + '</ul>';
}

// The stretches day by day, each day closed by its total, and the overall total at the end.
function noCardTable(noCard) {
  var stretches = vlist('stretches', noCard), days = vlist('days', noCard);
  var body = [];
  days.forEach(function (day) {
    stretches.filter(function (s) { return s.date === day.date; }).forEach(function (s) {
      body.push(tr([td(esc(s.date), 'p'), td(esc(s.slotName)), td(esc(s.beg)), td(esc(s.end)), td(esc(s.dur), 'n'), td(esc(s.km), 'n')]));
    });
    body.push(tr([td('Summe ' + esc(day.date) + ' (' + (Number(day.count) || 0) + ')'), td(''), td(''), td(''), td(esc(day.dur), 'n'), td(esc(day.km), 'n')], 'vday'));
  });
  if (body.length) {
    body.push(tr([td('Gesamt (' + (Number(noCard.count) || 0) + ' Abschnitte)'), td(''), td(''), td(''), td(esc(noCard.dur), 'n'), td(esc(noCard.km), 'n')], 'sum first'));
  }
  return table(['Datum', 'Slot', 'Beginn', 'Ende', 'Dauer', 'Strecke (km)'], body, 'Keine Fahrt ohne Karte aufgezeichnet', [4, 5]);
}

// One row per day, the driver's and the co-driver's slot as two 24-hour tracks; driving with no
// card inserted is marked, and the day's time of it stands on the right.
function vehicleChart() {
  var days = vlist('chart');
  if (!days.length) return '';
  var axis = '<div class="tl-axis"><span></span><div class="vc-tracks"><span></span><div class="ticks"><span style="left:0">00</span><span style="left:25%">06</span>' +
    '<span style="left:50%">12</span><span style="left:75%">18</span><span style="left:100%">24</span></div></div><span></span></div>';
  return axis + days.map(function (day) {
    var noCard = 0;
    var tracks = [0, 1].map(function (slot) {
      var segs = vlist('slots', day)[slot];
      var html = (Array.isArray(segs) ? segs : []).map(function (s) {
        var b = Math.max(0, Math.min(1440, Number(s.b) || 0)), e = Math.max(b, Math.min(1440, Number(s.e) || 0));
        var cls = SEGMENT_CLASS[s.a] || 'unk';
        var missing = s.card === false;
        if (missing && s.a === 3) { cls = 'nocard'; noCard += e - b; }
        var name = activityName(s.a) + (missing ? ', ohne Karte' : '');
        return '<i class="seg ' + cls + '" data-from="' + b + '" data-to="' + e + '" style="left:' + (b / 14.4).toFixed(3) + '%;width:' + ((e - b) / 14.4).toFixed(3) +
          '%" title="' + esc(name + ' ' + hhmm(b) + '–' + hhmm(e)) + '"></i>';
      }).join('');
      return '<span>' + TRACK_NAMES[slot] + '</span><div class="track" data-slot="' + (slot + 1) + '">' + html + '</div>';
    }).join('');
    var wd = weekdayOf(day.date);
    return '<div class="vc-row" data-day="' + esc(day.date) + '"><span class="d"><b>' + WEEKDAYS[wd] + '</b> ' + esc(String(day.date).slice(0, 6)) +
      '</span><div class="vc-tracks">' + tracks + '</div><span class="t' + (noCard ? '' : ' none') + '">' + (noCard ? hhmm(noCard) : '—') + '</span></div>';
  }).join('');
}

// Events and faults grouped by type; overspeeding and power interruptions highlighted, each
// group's records behind its button.
function renderVehicleEvents() {
  var groups = vlist('events');
  var body = [];
  groups.forEach(function (g, i) {
    var records = vlist('records', g);
    var toggle = records.length ? '<button class="vtoggle" data-group="' + i + '" aria-expanded="false">' + records.length + ' Einträge</button>' : '';
    body.push(tr([td(esc(orDash(g.name)), 'p wrap'), td('<span class="tag' + (g.highlight ? ' crit' : ' plain') + '">' + esc(g.kindName || g.kind) + '</span>'),
      td(grouped(Number(g.count) || 0), 'n'), td(esc(g.first)), td(esc(g.last)), td(esc(g.cards), 'wrap'), td(toggle)], 'vgroup' + (g.highlight ? ' crit' : '')));
    records.forEach(function (r) {
      body.push('<tr class="vrec" data-group="' + i + '" hidden>' + [td(esc(orDash(r.purpose)), 'wrap'), td(''), td(r.similar ? grouped(r.similar) + ' ähnl.' : '', 'n'),
        td(esc(r.beg)), td(esc(r.end)), td(esc(r.cards), 'wrap'), td('')].join('') + '</tr>');
    });
  });
  var over = VEHICLE.overspeedControl;
  $('vehEventsCap').textContent = over && typeof over === 'object' ? 'Geschwindigkeitskontrolle: zuletzt ' + orDash(over.last) + ' · erste Überschreitung seitdem ' +
    orDash(over.firstSince) + ' · ' + (Number(over.count) || 0) + ' Überschreitungen' : '';
  $('vehEventsTable').innerHTML = table(['Typ', 'Art', 'Anzahl', 'Erstes', 'Letztes', 'Karten', ''], body, 'Keine Ereignisse oder Störungen aufgezeichnet', [2]);
  $('vehTimeTable').innerHTML = table(['Alte Zeit', 'Neue Zeit', 'Werkstatt', 'Karte'], vlist('timeAdjustments').map(function (t) {
    return tr([td(esc(t.old), 'p'), td(esc(t.new)), td(esc(t.workshop), 'wrap'), td(esc(t.card))]);
  }), 'Keine Zeiteinstellungen aufgezeichnet');
}

// A due date within 30 days or past is a banner: amber before, red after.
function dueAlert(id, due) {
  var el = $(id);
  var shown = due.state === 'soon' || due.state === 'overdue';
  el.hidden = !shown;
  el.classList.toggle('warn', due.state === 'soon');
  el.textContent = shown ? String(due.text || '') : '';
}
function renderVehicleCalibrations() {
  var due = vobj('calibration');
  dueAlert('vehCalibrationAlert', due);
  $('vehCalibrationCap').textContent = due.due ? 'Nächste Kalibrierung: ' + due.due : String(due.text || '');
  $('vehCalibrationTable').innerHTML = table(['Zweck', 'Zeitpunkt', 'Werkstatt', 'Karte', 'FIN / Kennzeichen', 'w / k / l', 'Reifen', 'V max', 'km alt → neu', 'Nächste'],
    vlist('calibrations').map(function (c) {
      return tr([td(esc(c.purpose), 'p'), td(esc(c.when)), td(esc(c.workshop), 'wrap'), td(esc(c.card)), td(esc(orDash(c.vin)) + '<br>' + esc(orDash(c.plate))),
        td(esc([c.w, c.k, c.l].map(orDash).join(' / ')), 'n'), td(esc(c.tyre)), td(esc(orDash(c.speed)), 'n'), td(esc(orDash(c.odoOld)) + ' → ' + esc(orDash(c.odoNew)), 'n'),
        td(esc(orDash(c.next)))]);
    }), 'Keine Kalibrierungen aufgezeichnet', [5, 7, 8]);
}
function renderVehicleLocks() {
  var download = vobj('download');
  dueAlert('vehDownloadAlert', download);
  $('vehDownloadCap').textContent = 'Letzter Download: ' + orDash(download.last) + (download.company ? ' · ' + download.company : '') +
    (download.card ? ' · Karte ' + download.card : '') + (download.due ? ' · nächster fällig ' + download.due : '');
  $('vehLockTable').innerHTML = table(['Unternehmen', 'Anschrift', 'Karte', 'Gesperrt seit', 'Entsperrt', 'Status'], vlist('locks').map(function (l) {
    return tr([td(esc(orDash(l.company)), 'p wrap'), td(esc(l.address), 'wrap'), td(esc(l.card)), td(esc(l.in)), td(esc(orDash(l.out))),
      td(l.active ? '<span class="tag ok">aktiv</span>' : '<span class="tag plain">beendet</span>')]);
  }), 'Keine Unternehmenssperren aufgezeichnet');
  $('vehControlTable').innerHTML = table(['Zeitpunkt', 'Art', 'Karte', 'Beginn', 'Ende'], vlist('controls').map(function (c) {
    return tr([td(esc(c.when), 'p'), td(esc(c.type)), td(esc(c.card)), td(esc(orDash(c.begin))), td(esc(orDash(c.end)))]);
  }), 'Keine Kontrollen aufgezeichnet');
}

// ---- vehicle tool bar ----

// The CSV set of a bridge function, told in a toast; the fleet view saves its own the same way.
function exportCsvSet(fn) {
  call(fn).then(function (path) {
    if (path == null) return;
    if (typeof path !== 'string') { toast((path && path.error) || 'CSV-Export fehlgeschlagen', 6000); return; }
    toast('CSV gespeichert: ' + baseName(path) + '_*.csv in ' + String(path).replace(/[\\/][^\\/]*$/, ''), 5500);
  }, function () { toast('Export fehlgeschlagen'); });
}
function exportVehicleCsv() { exportCsvSet('tachoVehicleCsv'); }
// A report of a bridge function saved as the driver's report is, its button disabled meanwhile.
function saveReportOf(fn, buttonId, name) {
  if (busy.report) return;
  busy.report = true;
  $(buttonId).disabled = true;
  call(fn, safeFileName(name)).then(function (r) {
    if (r && !r.ok && r.error) { toast(r.error, 6000); return; }
    window.__onBerichtSaved(r);
  }, function () { toast('Bericht konnte nicht gespeichert werden'); }).then(function () {
    busy.report = false;
    $(buttonId).disabled = false;
  });
}
function saveVehicleReport() {
  if (VEHICLE) saveReportOf('tachoVehicleReport', 'vehReportBtn', 'Fahrzeugbericht ' + (VEHICLE.plate || VEHICLE.vin || ''));
}
function wireVehicle() {
  $('vehCsvBtn').onclick = exportVehicleCsv;
  $('vehReportBtn').onclick = saveVehicleReport;
  $('vehFinderBtn').onclick = function () { call('tachoOpenFinder', VEHICLE ? String(VEHICLE.folder || '') : '').catch(function () {}); };
  $('vehNav').addEventListener('click', function (e) {
    var b = e.target.closest('[data-target]');
    if (b) $(b.getAttribute('data-target')).scrollIntoView({block: 'start'});
  });
  $('vehicle').addEventListener('click', function (e) {
    var toggle = e.target.closest('.vtoggle');
    if (toggle) {
      var open = toggle.getAttribute('aria-expanded') !== 'true';
      toggle.setAttribute('aria-expanded', String(open));
      document.querySelectorAll('#vehEventsTable tr.vrec[data-group="' + toggle.getAttribute('data-group') + '"]').forEach(function (r) { r.hidden = !open; });
      return;
    }
    var link = e.target.closest('.vlink');
    if (link) openPath(link.getAttribute('data-file'));
  });
}
document.addEventListener('DOMContentLoaded', wireVehicle);
