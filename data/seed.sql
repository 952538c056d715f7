-- The rows the shipped database starts with.
INSERT INTO Configuration (SensorType, Family, Model, lblNotes, lowval, highval, tempchannel, templow, temphigh)
VALUES ('25', 'Load Cell', 'LODIX Hydraulic Load Cell', 'Notes:', 0, 300, 1, -20, 60);

INSERT INTO Prefs (MaxY) VALUES (20);
