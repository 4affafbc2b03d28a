-- replication procedures of the order tables
set ansi_nulls on
go
/****** object:  storedprocedure [dbo].[sp_msins_dboorders]    script date: 2024-03-01 10:15:00 ******/
IF object_id('dbo.[sp_msins_dboorders]') IS NOT NULL 
	DROP PROCEDURE dbo.[sp_msins_dboorders]
GO
---------------------------
create procedure [dbo].[sp_msins_dboorders]
    @c1 int,
    @c2 int,
    @c3 datetime
as
begin
		set identity_insert  orders ON

insert into [dbo].[orders] (
		[orderid],
		[customerid],
		[orderdate]
	) values (
		@c1,
		@c2,
		@c3	)	set identity_insert  orders OFF

end
go

IF object_id('dbo.[sp_msins_dbocustomers]') IS NOT NULL 
	DROP PROCEDURE dbo.[sp_msins_dbocustomers]
GO
---------------------------
create procedure [dbo].[sp_msins_dbocustomers]
    @c1 int,
    @c2 nvarchar(100)
as
begin
	insert into [dbo].[customers] (
		[customerid],
		[name]
	) values (
		@c1,
		@c2	)end
go


/****** object:  storedprocedure [dbo].[sp_msins_dboitems]    script date: 2024-03-01 10:15:00 ******/
/****** Object:  StoredProcedure [dbo].[ sp_msins_dboitems ] ******/
 
IF object_id('dbo.[sp_msins_dboitems]') IS NOT NULL 
	DROP PROCEDURE dbo.[sp_msins_dboitems]
GO
---------------------------
create procedure [dbo].[sp_msins_dboitems]
    @c1 int,
    @c2 int,
    @c3 int
as
begin
		set identity_insert  items ON

insert into [dbo].[items] (
		[itemid],
		[orderid],
		[quantity]
	) values (
		@c1,
		@c2,
		@c3	)
	set identity_insert  items OFF

end
go

/****** Object:  StoredProcedure [dbo].[ sp_msins_dboregions ] ******/
 
IF object_id('dbo.[sp_msins_dboregions]') IS NOT NULL 
	DROP PROCEDURE dbo.[sp_msins_dboregions]
GO
---------------------------
create procedure [dbo].[sp_msins_dboregions]
    @c1 int,
    @c2 nvarchar(50)
as
begin
	insert into [dbo].[regions] (
		[regionid],
		[name]
	) values (
		@c1,
		@c2	)end
go


-- end of the replication procedures
