#!/usr/bin/env python3
"""Works out each track of a GPX file, or each activity of a TCX file, from
its points alone, apart from Strivo's code: one line per track or activity,
    <sport> <start, ms since 1970> <duration, ms> <metres>
(the start -1 for a GPX track with a time on fewer than half of its points)
where the metres are haversine distances on a sphere of radius 6371008.8 m
between consecutive points of a GPX segment or of a TCX lap's track."""
import math
import sys
import xml.etree.ElementTree as ET
from datetime import datetime

RADIUS = 6371008.8


def haversine(a, b):
    (lat1, lon1), (lat2, lon2) = a, b
    p1, p2 = math.radians(lat1), math.radians(lat2)
    dp, dl = p2 - p1, math.radians(lon2 - lon1)
    h = math.sin(dp / 2) ** 2 + math.cos(p1) * math.cos(p2) * math.sin(dl / 2) ** 2
    return 2 * RADIUS * math.asin(math.sqrt(h))


def path_length(points):
    return sum(haversine(points[i - 1], points[i]) for i in range(1, len(points)))


def ms(text):
    return round(datetime.fromisoformat(text.replace("Z", "+00:00")).timestamp() * 1000)


def local(element):
    return element.tag.rsplit("}", 1)[-1]


def children(element, name):
    return [child for child in element if local(child) == name]


def gpx(root):
    for track in children(root, "trk"):
        types = children(track, "type")
        sport = types[0].text.strip() if types else "running"
        times, metres, count = [], 0.0, 0
        for segment in children(track, "trkseg"):
            points = []
            for point in children(segment, "trkpt"):
                points.append((float(point.get("lat")), float(point.get("lon"))))
                times += [ms(t.text) for t in children(point, "time")[:1]]
            metres += path_length(points)
            count += len(points)
        if count == 0:
            continue
        if len(times) * 2 < count:  # too few timed points to be a run: -1
            print(sport, -1, 0, metres)
            continue
        print(sport, min(times), max(times) - min(times), metres)


def tcx(root):
    for activities in children(root, "Activities"):
        for activity in children(activities, "Activity"):
            times, metres = [], 0.0
            for lap in children(activity, "Lap"):
                for track in children(lap, "Track"):
                    points = []
                    for point in children(track, "Trackpoint"):
                        times += [ms(t.text) for t in children(point, "Time")]
                        for position in children(point, "Position"):
                            points.append((float(children(position, "LatitudeDegrees")[0].text),
                                           float(children(position, "LongitudeDegrees")[0].text)))
                    metres += path_length(points)
            print(activity.get("Sport"), min(times), max(times) - min(times), metres)


root = ET.parse(sys.argv[1]).getroot()
{"gpx": gpx, "TrainingCenterDatabase": tcx}[local(root)](root)
